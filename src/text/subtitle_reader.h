#pragma once
// SubtitleReader: reads subtitle pictures into text with Tesseract, one engine per reader, made
// once and used for every picture (an engine takes far longer to start than to read a line). A
// reader belongs to one thread. The same bitmap again is read from its cache.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "text/subtitle_picture.h"

namespace tesseract {
class TessBaseAPI;
}

struct ReadText {
    std::string text;        // UTF-8, the picture's lines joined with "\n"
    int confidence = 0;      // the engine's mean over the lines, 0 to 100 (0: nothing read)
};

class SubtitleReader {
public:
    SubtitleReader();
    ~SubtitleReader();
    SubtitleReader(const SubtitleReader&) = delete;
    SubtitleReader& operator=(const SubtitleReader&) = delete;

    // Starts the engine for a language as ISO 639-2/T names Tesseract's data ("eng", "deu");
    // without that language's data it starts with English and Fallback() says so. False, with
    // Problem() saying why, when no engine can be started at all.
    bool Open(const std::string& language);
    const std::string& Language() const { return m_language; }
    // The language asked for whose data is not installed (empty when it was there).
    const std::string& Fallback() const { return m_fallback; }
    const std::string& Problem() const { return m_problem; }

    // Reads a picture (from the cache when this reader has read the same one before).
    ReadText Read(const IndexedPicture& picture);
    // Pictures read by the engine, and those answered from the cache.
    int EngineReads() const { return m_engineReads; }
    int CacheHits() const { return m_cacheHits; }
    // Lines the engine read (a line read twice counts twice).
    int LineReads() const { return m_lineReads; }

    // Whether the data for a language is installed where Tesseract looks.
    static bool HasLanguage(const std::string& language);
    // The Debian package with a language's data ("tesseract-ocr-deu").
    static std::string PackageFor(const std::string& language);

private:
    // Below this confidence a line is read once more with its letters grown.
    static constexpr int kSecondLook = 95;
    struct Reading {
        std::string text;
        int confidence = 0;
    };
    Reading ReadLine(const GreyLine& line);

    std::unique_ptr<tesseract::TessBaseAPI> m_engine;
    std::string m_language, m_fallback, m_problem;
    std::unordered_map<std::uint64_t, ReadText> m_cache;
    int m_engineReads = 0, m_cacheHits = 0, m_lineReads = 0;
};
