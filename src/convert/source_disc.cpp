#include "convert/source_disc.h"

#include <algorithm>

#include "demux/media_disc.h"

std::shared_ptr<SourceDisc> SourceDisc::Open(const std::string& path, std::string* why)
{
    const DiscHandle handle = MyDVDOpenWithReason(path.c_str(), why);
    if (!handle) return nullptr;
    std::shared_ptr<Disc> disc = MyDVDDisc(handle);
    if (!disc) {
        MyDVDClose(handle);
        return nullptr;
    }
    return std::shared_ptr<SourceDisc>(new SourceDisc(handle, std::move(disc)));
}

std::string SourceDisc::OpenErrorText(const std::string& path, const std::string& why, const char* separator)
{
    return ::OpenErrorText(path, why, separator);
}

SourceDisc::SourceDisc(DiscHandle handle, std::shared_ptr<Disc> disc)
    : m_handle(handle), m_disc(std::move(disc)), m_info(std::make_unique<DiscInfo>())
{
    m_disc->GetInfo(m_info.get());
}

SourceDisc::~SourceDisc() { MyDVDClose(m_handle); }

TitleVideo SourceDisc::VideoOf(int title) const { return Known(title) ? m_disc->VideoOf(title) : TitleVideo{}; }

bool SourceDisc::TitleReadable(int title) const { return Known(title) && m_disc->IsReadable(title); }

std::vector<double> SourceDisc::ChapterStarts(int title) const
{
    if (!Known(title)) return {};
    // What plays from a chapter to the title's end, taken from the whole title's length.
    const std::vector<Disc::CellMark> whole = m_disc->CellMarks(title, -1);
    if (whole.empty()) return {};
    const double total = whole.back().ms;
    std::vector<double> starts;
    const int chapters = std::clamp(m_info->titles[title].chapterCount, 1, kMaxChapters);
    for (int c = 0; c < chapters; ++c) {
        const std::vector<Disc::CellMark> rest = c == 0 ? whole : m_disc->CellMarks(title, c);
        starts.push_back(rest.empty() ? total : std::clamp(total - rest.back().ms, 0.0, total));
    }
    return starts;
}
