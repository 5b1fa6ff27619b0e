#pragma once
// SoundEncoder: one encoded sound stream of a file. It takes 16-bit interleaved samples, gathers
// them into whole encoder frames (converted where the encoder wants another sample format),
// numbers them by their sample count, and at the end writes the sound short of a whole frame
// (padded with silence where the encoder takes whole frames only) and what the encoder holds.

#include <cstdint>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"
#include "profiles/profile_record.h"
#include "write/muxer.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

class SoundEncoder {
public:
    SoundEncoder(Muxer& muxer, WriteFailure& failure) : m_muxer(&muxer), m_failure(&failure), m_packet(ffmpeg::MakePacket()) {}

    // Adds the stream, labelled, and opens `encoder` at the label's rate and channels (else the
    // profile's); `first` is the file's default track. False (failed) when it cannot.
    bool Add(const AVCodec* encoder, const WriterSettings& settings, const StreamLabel& label, bool first);
    AVStream* Stream() const { return m_stream; }
    bool Active() const { return m_codec != nullptr; }
    int SampleRate() const { return m_codec ? m_codec->sample_rate : 0; }
    int Channels() const { return m_codec ? m_codec->ch_layout.nb_channels : 0; }
    // 16-bit interleaved samples: 0, or −1 on a failure.
    int Write(const std::uint8_t* data, std::size_t bytes);
    // The sound gathered short of a whole frame, then what the encoder holds.
    bool FlushGathered() { return EncodeGathered(true); }
    bool Drain();
    // Frees the encoder; the counts stay until the next file.
    void Free();
    std::int64_t Samples() const { return m_samples; }
    std::int64_t Packets() const { return m_packets; }
    // Where its sound ends on the file's time line (100 ns).
    std::int64_t Length() const;

private:
    // Encodes whole encoder frames from the FIFO; with `flush`, the remainder too.
    bool EncodeGathered(bool flush);

    Muxer* m_muxer;
    WriteFailure* m_failure;
    ffmpeg::PacketPtr m_packet;
    ffmpeg::CodecContextPtr m_codec;
    AVStream* m_stream = nullptr;
    ffmpeg::FramePtr m_frame;
    ffmpeg::SwrPtr m_converter;          // 16-bit interleaved to the encoder's sample format
    ffmpeg::AudioFifoPtr m_fifo;         // 16-bit interleaved samples
    std::vector<std::uint8_t> m_staging; // one frame of 16-bit samples on their way to the converter
    int m_sampleRate = 0;
    std::int64_t m_samples = 0;
    std::int64_t m_packets = 0;
};
