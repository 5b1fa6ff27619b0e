#pragma once
// What the video and sound encoders of a file share: sending a frame to an encoder and writing
// what it gives, and opening an encoder for its stream.

#include <cstdint>
#include <string>

#include "ffmpeg/ffmpeg_handles.h"
#include "write/muxer.h"
#include "write/write_failure.h"

// Sends `frame` (null: the end) and writes every packet that comes out through `muxer`,
// counting them. A picture (`picture`) without a duration lasts one tick; `stats` gathers a first
// pass's statistics where the encoder hands them over. False on a failure.
bool EncodeInto(Muxer& muxer, WriteFailure& failure, AVPacket* scratch, AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                std::int64_t& packets, bool picture = false, std::string* stats = nullptr);
// Opens a stream's encoder and hands its parameters and time base to the stream; false (failed,
// naming the `kind` of stream and the settings it was opened with) when either is refused.
bool OpenEncoder(WriteFailure& failure, AVCodecContext* codec, const AVCodec* encoder, AVStream* stream, const char* kind,
                 AVDictionary** options = nullptr);
