#pragma once
// While it lives, the text reader looks for its data in a folder of its own whose English model
// is broken (a file that is no model): the way a damaged installation looks to the program.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

class BrokenLanguageData {
public:
    explicit BrokenLanguageData(const char* name) : m_folder(std::filesystem::temp_directory_path() / name)
    {
        std::filesystem::create_directories(m_folder);
        if (std::FILE* broken = std::fopen((m_folder / "eng.traineddata").c_str(), "wb")) {
            std::fputs("not a model", broken);
            std::fclose(broken);
        }
        const char* old = std::getenv("TESSDATA_PREFIX");
        m_hadOld = old != nullptr;
        if (old) m_old = old;
        ::setenv("TESSDATA_PREFIX", m_folder.c_str(), 1);
    }
    ~BrokenLanguageData()
    {
        if (m_hadOld)
            ::setenv("TESSDATA_PREFIX", m_old.c_str(), 1);
        else
            ::unsetenv("TESSDATA_PREFIX");
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    BrokenLanguageData(const BrokenLanguageData&) = delete;
    BrokenLanguageData& operator=(const BrokenLanguageData&) = delete;

private:
    std::filesystem::path m_folder;
    std::string m_old;
    bool m_hadOld = false;
};
