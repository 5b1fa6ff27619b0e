// Reads one subtitle track of a DVD title into text as a conversion does: one reader, started
// once, every cue of the track read (a picture seen before answered from its cache). Each cue's
// picture is also written as it shows on a black screen, for the tesseract command to read one
// by one, the way a person without a ripper that reads subtitles would.
//
// Usage: bench_text VOB SUBPICTURE_ID LANGUAGE PICTURES_FOLDER
//   SUBPICTURE_ID 0x20 for the first subpicture stream; LANGUAGE as the reader's data names it.
// Prints "cues N", "engine_reads N", "cache_hits N" and "read_ms T" (the reader's start included).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <omp.h>

#include "text/subtitle_reader.h"

namespace {

// A cue's picture as the screen shows it: each colour's brightness, by its opacity, over black.
void WriteShown(const IndexedPicture& picture, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fprintf(file, "P5 %d %d 255\n", picture.width, picture.height);
    for (std::uint8_t index : picture.pixels) {
        const std::uint32_t c = index < picture.colours.size() ? picture.colours[index] : 0;
        const int grey = ((c >> 16 & 0xFF) * 299 + (c >> 8 & 0xFF) * 587 + (c & 0xFF) * 114) / 1000;
        std::fputc(grey * static_cast<int>(c >> 24) / 255, file);
    }
    std::fclose(file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_text VOB SUBPICTURE_ID LANGUAGE PICTURES_FOLDER\n");
        return 2;
    }
    AVFormatContext* format = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", "100000000", 0);
    av_dict_set(&options, "analyzeduration", "100000000", 0);
    if (avformat_open_input(&format, argv[1], nullptr, &options) < 0 || avformat_find_stream_info(format, nullptr) < 0) return 1;
    av_dict_free(&options);
    const int id = static_cast<int>(std::strtol(argv[2], nullptr, 0));
    int stream = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && format->streams[i]->id == id) stream = static_cast<int>(i);
    if (stream < 0) return 1;
    // The pictures first, so that only the reading is timed.
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVD_SUBTITLE);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    if (avcodec_open2(decoder, codec, nullptr) < 0) return 1;
    std::vector<IndexedPicture> cues;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        AVSubtitle subtitle{};
        int got = 0;
        if (packet->stream_index == stream && avcodec_decode_subtitle2(decoder, &subtitle, &got, packet) >= 0 && got) {
            for (unsigned r = 0; r < subtitle.num_rects; ++r) {
                const AVSubtitleRect& rect = *subtitle.rects[r];
                IndexedPicture picture;
                picture.width = rect.w;
                picture.height = rect.h;
                for (int y = 0; y < rect.h; ++y)
                    picture.pixels.insert(picture.pixels.end(), rect.data[0] + y * rect.linesize[0], rect.data[0] + y * rect.linesize[0] + rect.w);
                const auto* colours = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
                picture.colours.assign(colours, colours + rect.nb_colors);
                WriteShown(picture, std::string(argv[4]) + "/cue" + std::to_string(cues.size()) + ".pgm");
                cues.push_back(std::move(picture));
            }
            avsubtitle_free(&subtitle);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);

    // On one thread, as a conversion reads each track beside the encoder.
    omp_set_max_active_levels(0);
    const auto start = std::chrono::steady_clock::now();
    SubtitleReader reader;
    if (!reader.Open(argv[3])) return 1;
    for (const IndexedPicture& cue : cues) reader.Read(cue);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("cues %zu\nengine_reads %d\nline_reads %d\ncache_hits %d\nread_ms %.1f\n", cues.size(), reader.EngineReads(),
                reader.LineReads(), reader.CacheHits(), ms);
    return 0;
}
