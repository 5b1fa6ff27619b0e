#pragma once
// PacketFeeder: hands a stream to libavcodec. Bytes go through the codec's parser when it has
// one (which cuts them into frames), and each frame is sent in a padded, reference-counted
// buffer from a pool, so that libavcodec keeps it without a copy and nothing is allocated per
// packet once the pool has grown. The decoder takes its frames out through `receive`, which
// returns S_OK to go on, and hears through `lost` of each frame libav refused (its time stamp,
// or AV_NOPTS_VALUE): the frame is counted with the decoder's errors and decoding goes on.

#include <algorithm>
#include <cstring>

#include "pipeline/base_filter.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

class PacketFeeder {
public:
    // `smallestBuffer`: the pool's buffers are never smaller (larger packets grow it).
    PacketFeeder(int smallestBuffer, ffmpeg::ErrorTally& errors)
        : m_packet(ffmpeg::MakePacket()), m_smallestBuffer(smallestBuffer), m_errors(errors)
    {
    }

    // `size` bytes (null: the end, which drains the parser) through `parser`, when there is
    // one, into `codec`.
    template <class Receive, class Lost>
    HRESULT Feed(AVCodecContext* codec, AVCodecParserContext* parser, const BYTE* data, int size, std::int64_t pts,
                 Receive receive, Lost lost)
    {
        if (!parser) return data ? Send(codec, data, size, pts, receive, lost) : S_OK;
        // The parser holds back the last frame until it sees the next one; null flushes it.
        std::int64_t offered = pts;
        do {
            std::uint8_t* frame = nullptr;
            int frameSize = 0;
            const int used = av_parser_parse2(parser, codec, &frame, &frameSize, data, data ? size : 0, offered, AV_NOPTS_VALUE, 0);
            if (used < 0) {
                // The parser cannot go on with these bytes: they are dropped.
                m_errors.Note("av_parser_parse2", used);
                lost(offered);
                return S_OK;
            }
            if (data) {
                data += used;
                size -= used;
            }
            offered = AV_NOPTS_VALUE;
            if (frameSize > 0) {
                const HRESULT hr = Send(codec, frame, frameSize, parser->pts, receive, lost);
                if (hr != S_OK) return hr;
            }
        } while (data && size > 0);
        return S_OK;
    }

    // Takes every decoded frame out of `codec` through `frame` to `deliver` (S_OK to go on). A
    // real error loses a frame: it is counted, `lost(AV_NOPTS_VALUE)` hears of it, and decoding
    // goes on with the next input.
    template <class Deliver, class Lost>
    HRESULT ReceiveFrames(AVCodecContext* codec, AVFrame* frame, Deliver deliver, Lost lost)
    {
        for (;;) {
            const int result = avcodec_receive_frame(codec, frame);
            if (m_errors.Note("avcodec_receive_frame", result)) {
                lost(AV_NOPTS_VALUE);
                return S_OK;
            }
            if (result < 0) return S_OK; // needs more input, or drained
            const HRESULT hr = deliver(frame);
            av_frame_unref(frame);
            if (hr != S_OK) return hr;
        }
    }

    // One packet into `codec`, taking frames out whenever the decoder is full.
    template <class Receive, class Lost>
    HRESULT Send(AVCodecContext* codec, const BYTE* data, int size, std::int64_t pts, Receive receive, Lost lost)
    {
        const int needed = size + AV_INPUT_BUFFER_PADDING_SIZE;
        if (!m_pool || needed > m_poolSize) {
            m_poolSize = std::max(needed, m_smallestBuffer);
            m_pool.reset(av_buffer_pool_init(static_cast<std::size_t>(m_poolSize), nullptr));
            if (!m_pool) return E_OUTOFMEMORY;
        }
        AVBufferRef* buffer = av_buffer_pool_get(m_pool.get());
        if (!buffer) return E_OUTOFMEMORY;
        std::memcpy(buffer->data, data, static_cast<std::size_t>(size));
        std::memset(buffer->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        m_packet->buf = buffer;
        m_packet->data = buffer->data;
        m_packet->size = size;
        m_packet->pts = pts;
        m_packet->dts = AV_NOPTS_VALUE;
        int result = avcodec_send_packet(codec, m_packet.get());
        while (result == AVERROR(EAGAIN)) {
            const HRESULT hr = receive();
            if (hr != S_OK) {
                av_packet_unref(m_packet.get());
                return hr;
            }
            result = avcodec_send_packet(codec, m_packet.get());
        }
        av_packet_unref(m_packet.get());
        if (m_errors.Note("avcodec_send_packet", result)) lost(pts); // a damaged frame: go on
        return receive();
    }

private:
    ffmpeg::PacketPtr m_packet;
    ffmpeg::BufferPoolPtr m_pool;
    int m_poolSize = 0;
    const int m_smallestBuffer;
    ffmpeg::ErrorTally& m_errors;
};
