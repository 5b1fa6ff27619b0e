#pragma once
// What a converted file carries beside its pictures and sound: the chapter marks of the stretch
// of a title it holds, and the labels of its sound streams (language and a title such as
// "English AC-3 2.0").

#include <cstdint>
#include <string>
#include <vector>

#include "convert/conversion_task.h"
#include "convert/source_disc.h"
#include "write/output_writer.h"

// The chapter marks of a task's stretch, from the stretch's start (100 ns): every chapter whose
// play overlaps the stretch, at its start or at the stretch's start, named "Chapter N" after its
// number on the disc, with `prefix` in front ("Title_02 " in a merged file). A chapter task is
// its one chapter.
std::vector<OutputChapter> TaskChapters(const SourceDisc& disc, const ConversionTask& task, const std::string& prefix = {});

// "Title_02 ": what a merged file's chapter names start with for a task.
std::string MergedChapterPrefix(const ConversionTask& task);

// How a sound coding is named in a stream's title: "AC-3", "MP2", "LPCM", "DTS", "E-AC-3", "AAC",
// "MP3"; an encoder by its FFmpeg name ("aac" "AAC", "libmp3lame" "MP3", "ac3" "AC-3").
std::string DiscCodingName(std::int32_t audioFormat);
std::string EncoderCodingName(const std::string& encoder);
// "2.0", "5.1", "7.1", "1.0".
std::string ChannelLayoutName(int channels);

// The label a sound track of a title gets in a file whose sound the profile's encoder makes:
// the track's language (ISO 639-2; empty when the disc names none) and "English AAC 2.0".
StreamLabel ConvertedTrackLabel(const TitleInfo& title, std::int32_t streamId, const WriterSettings& output);
