#include "text/subtitle_reader.h"

#include "text/text_corrections.h"

#include <tesseract/baseapi.h>

#include <cstdlib>
#include <filesystem>

namespace {

// Where Tesseract's language data are: TESSDATA_PREFIX when set, else Debian's folder.
std::filesystem::path DataFolder()
{
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix) return prefix;
    return "/usr/share/tesseract-ocr/5/tessdata";
}

// Tesseract's words end a line with a newline; a line of ours is one line of text.
std::string Trimmed(const char* text)
{
    std::string line = text ? text : "";
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    std::size_t start = 0;
    while (start < line.size() && line[start] == ' ') ++start;
    return line.substr(start);
}

} // namespace

SubtitleReader::SubtitleReader() = default;

SubtitleReader::~SubtitleReader()
{
    if (m_engine) m_engine->End();
}

bool SubtitleReader::HasLanguage(const std::string& language)
{
    std::error_code error;
    return !language.empty() && std::filesystem::is_regular_file(DataFolder() / (language + ".traineddata"), error);
}

std::string SubtitleReader::PackageFor(const std::string& language) { return "tesseract-ocr-" + language; }

bool SubtitleReader::Open(const std::string& language)
{
    m_cache.clear();
    m_fallback.clear();
    m_problem.clear();
    m_language = HasLanguage(language) ? language : "eng";
    if (m_language != language) m_fallback = language;
    if (m_engine) m_engine->End();
    m_engine = std::make_unique<tesseract::TessBaseAPI>();
    // The LSTM engine: Debian's data carry no other.
    if (m_engine->Init(DataFolder().c_str(), m_language.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        m_problem = "The text reader could not start with the " + m_language + " language data in " + DataFolder().string() +
                    " (install " + PackageFor(m_language) + ")";
        m_engine.reset();
        return false;
    }
    m_engine->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    // Its diagnostics stay out of our output.
    m_engine->SetVariable("debug_file", "/dev/null");
    return true;
}

SubtitleReader::Reading SubtitleReader::ReadLine(const GreyLine& line)
{
    ++m_lineReads;
    m_engine->SetImage(line.grey.data(), line.width, line.height, 1, line.width);
    m_engine->SetSourceResolution(300);
    std::unique_ptr<char[]> text(m_engine->GetUTF8Text());
    Reading read;
    read.text = MarkMusic(CorrectWords(CorrectReading(Trimmed(text.get()), m_language), m_language,
                                       [this](const std::string& word) { return m_engine->IsValidWord(word.c_str()) > 0; }));
    if (read.text.empty()) return read;
    if (line.italic) read.text = "<i>" + read.text + "</i>";
    read.confidence = m_engine->MeanTextConf();
    return read;
}

ReadText SubtitleReader::Read(const IndexedPicture& picture)
{
    const std::uint64_t key = PictureHash(picture);
    if (const auto cached = m_cache.find(key); cached != m_cache.end()) {
        ++m_cacheHits;
        return cached->second;
    }
    ReadText result;
    if (!m_engine) return result;
    ++m_engineReads;
    int confidence = 0, lines = 0;
    const std::vector<GreyLine> plain = PrepareLines(picture);
    std::vector<GreyLine> grown;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        Reading read = ReadLine(plain[i]);
        // A line read with doubt is read once more with its letters grown (words run together
        // where an outline spaces letters as widely as words), and the surer reading is kept.
        if (read.confidence < kSecondLook) {
            if (grown.empty()) grown = PrepareLines(picture, 36, true);
            if (i < grown.size() && grown[i].grown) {
                Reading again = ReadLine(grown[i]);
                if (again.confidence > read.confidence) read = std::move(again);
            }
        }
        if (read.text.empty()) continue;
        confidence += read.confidence;
        ++lines;
        if (!result.text.empty()) result.text += '\n';
        result.text += read.text;
    }
    result.confidence = lines > 0 ? confidence / lines : 0;
    m_cache.emplace(key, result);
    return result;
}
