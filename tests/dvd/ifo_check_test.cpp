// Whether a title's tables in one copy of its title set's navigation hold together: the checks
// that decide between an IFO and its backup.
#include <gtest/gtest.h>

#include "dvd/ifo_parser.h"

namespace {

using namespace ifo;

PlaybackTime Time(std::uint8_t hour, std::uint8_t minute, std::uint8_t second, std::uint8_t frame = 0xC0)
{
    return {hour, minute, second, frame};
}

// One title of two chapters over one chain of two cells of 10 s each (NTSC), in sectors 0-999.
TitleSet GoodSet()
{
    TitleSet set;
    ProgramChain pgc;
    pgc.time = Time(0x00, 0x00, 0x20);
    pgc.programs = {1, 2};
    pgc.cells = {Cell{0, 0, Time(0, 0, 0x10), 0, 499}, Cell{0, 0, Time(0, 0, 0x10), 500, 999}};
    set.programChains.push_back(pgc);
    set.titles.push_back({Chapter{1, 1}, Chapter{1, 2}});
    return set;
}

TEST(IfoCheck, AWholeTitleFitsBest)
{
    const TitleCheck check = CheckTitle(GoodSet(), 1, 1000, 2);
    EXPECT_TRUE(check.usable);
    EXPECT_EQ(check.fit, kBestFit);
    EXPECT_TRUE(check.timesAgree);
    EXPECT_EQ(check.why, "");
}

TEST(IfoCheck, TablesThatCannotBeAreRefusedWithTheReason)
{
    struct Case {
        const char* what;
        void (*damage)(TitleSet&);
        const char* why;
    };
    const Case cases[] = {
        {"no chapters", [](TitleSet& s) { s.titles[0].clear(); }, "the title has no chapters"},
        {"a chain that is not there", [](TitleSet& s) { s.titles[0][1].programChain = 7; }, "chapter 2 points at program chain 7, which is not there"},
        {"a chain without cells", [](TitleSet& s) { s.programChains[0].cells.clear(); }, "which is damaged or holds no cells"},
        {"program 99", [](TitleSet& s) { s.titles[0][0].program = 99; }, "chapter 1 points at program 99"},
        {"programs out of order", [](TitleSet& s) { s.programChains[0].programs = {2, 1}; }, "programs do not follow its cells"},
        {"a cell that ends before it begins", [](TitleSet& s) { s.programChains[0].cells[1].firstSector = 1200; }, "cell 2 ends before it begins"},
        {"a chain time of 0xFFFFFFFF", [](TitleSet& s) { s.programChains[0].time = {0xFF, 0xFF, 0xFF, 0xFF}; }, "playing time is not a time"},
        {"a cell time of garbage", [](TitleSet& s) { s.programChains[0].cells[0].time = {0x00, 0x75, 0x00, 0xC0}; }, "cell 1's playing time is not a time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TitleSet set = GoodSet();
        c.damage(set);
        const TitleCheck check = CheckTitle(set, 1, 1000, 2);
        EXPECT_FALSE(check.usable);
        EXPECT_NE(check.why.find(c.why), std::string::npos) << check.why;
    }
    EXPECT_FALSE(CheckTitle(GoodSet(), 2, 1000, 2).usable) << "a title the set does not have";
}

TEST(IfoCheck, WhatDisagreesWithTheDiscFitsLess)
{
    // Cells past the VOBs' end (a cut VOB, or a damaged table): usable, but the other copy wins
    // when it fits.
    TitleCheck check = CheckTitle(GoodSet(), 1, 600, 2);
    EXPECT_TRUE(check.usable);
    EXPECT_EQ(check.fit, kBestFit - 2);
    // Cell times of 0, or that do not add up to the chain's.
    TitleSet zero = GoodSet();
    for (Cell& cell : zero.programChains[0].cells) cell.time = Time(0, 0, 0, 0);
    check = CheckTitle(zero, 1, 1000, 2);
    EXPECT_TRUE(check.usable);
    EXPECT_FALSE(check.timesAgree);
    EXPECT_EQ(check.fit, kBestFit - 1);
    // The video manager listing another number of chapters.
    EXPECT_EQ(CheckTitle(GoodSet(), 1, 1000, 5).fit, kBestFit - 1);
    // A second angle's cell takes no time of its own.
    TitleSet angles = GoodSet();
    angles.programChains[0].cells = {Cell{1, 1, Time(0, 0, 0x20), 0, 499}, Cell{3, 1, Time(0, 0, 0x20), 500, 999}};
    angles.programChains[0].programs = {1};
    angles.titles[0] = {Chapter{1, 1}};
    EXPECT_EQ(CheckTitle(angles, 1, 1000, 1).fit, kBestFit);
    EXPECT_DOUBLE_EQ(CellsMs(angles.programChains[0], true), 20 * 30 * 1001.0 / 30);
}

TEST(IfoCheck, PlaybackTimes)
{
    EXPECT_TRUE(IsPlaybackTime(Time(0x01, 0x59, 0x59, 0xC0 | 0x29)));
    EXPECT_TRUE(IsPlaybackTime(Time(0x00, 0x00, 0x00, 0x40 | 0x24))); // 25 fps, frame 24
    EXPECT_FALSE(IsPlaybackTime(Time(0x00, 0x00, 0x00, 0x40 | 0x25))); // 25 fps has no frame 25
    EXPECT_FALSE(IsPlaybackTime(Time(0x00, 0x60, 0x00)));
    EXPECT_FALSE(IsPlaybackTime(Time(0x0A, 0x00, 0x00)));
    EXPECT_FALSE(IsPlaybackTime({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_DOUBLE_EQ(PlaybackMs(Time(0x00, 0x01, 0x00, 0x40), false), 60000);
    EXPECT_DOUBLE_EQ(PlaybackMs(Time(0x00, 0x00, 0x01, 0xC0 | 0x15), false), 45 * 1001.0 / 30);
}

} // namespace
