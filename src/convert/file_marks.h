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

// How a sound track goes into a file whose profile keeps the sound as it is ("Same as source"):
// copied as the disc codes it; a DVD's LPCM unpacked into plain PCM (the same samples, at their
// own rate and depth, in new packets); a Blu-ray's LPCM decoded and written as PCM at 48 kHz; or,
// where the container cannot hold it, converted with the profile's own codec.
enum class SoundKeeping { kCopied, kUnpacked, kRepacked, kConverted };
// `extension` is the file's (".mkv"); `audioFormat` the track's (kAudioFormatAc3, …).
SoundKeeping KeepingOf(std::int32_t audioFormat, const std::string& extension);
// How a title's track goes into a file of this extension when sound is kept as it is.
SoundKeeping TrackKeeping(const TitleInfo& title, std::int32_t streamId, const std::string& extension);
// The PCM encoder that repacks LPCM for a container ("pcm_s16le" for Matroska, "pcm_s16be" for
// MPEG program streams).
std::string RepackingEncoder(const std::string& extension);
// The label, and how it is made, of a track in a file that keeps sound as it is; `fallback` is
// the encoder of tracks the container cannot hold. "English AC-3 5.1" for a copy.
StreamLabel KeptTrackLabel(const TitleInfo& title, std::int32_t streamId, const std::string& extension,
                           const WriterSettings& output, const std::string& fallback);
// Whether a subpicture stream of a disc is Blu-ray graphics (else DVD subpictures, whose
// identifiers are BD20…BD3F on every kind of disc).
inline bool IsGraphicsSubtitle(std::int32_t streamId, DiscKind kind) { return kind != DiscKind::kDvd && (streamId & 0xFF00) != 0xBD00; }
// Whether files of this container keep subtitle streams: Matroska (DVD subpictures and Blu-ray
// graphics) and MP4 (DVD subpictures); `graphics` asks for Blu-ray graphics.
bool HoldsSubtitles(const std::string& extension, bool graphics);
// Whether files of this container keep subtitles as text: Matroska, WebM, MP4, M4V, MOV, 3GP.
bool HoldsTextSubtitles(const std::string& extension);
// The label of a subpicture stream of a title: its language and "English" (or "English
// (forced)"), flagged forced when the disc says it holds forced subtitles only.
StreamLabel SubtitleLabel(const TitleInfo& title, std::int32_t streamId, const std::vector<bool>& forced);
