#include "play/engine_registration.h"

#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "decode/video_decoder_filter.h"
#include "demux/media_disc.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "render/audio_renderer.h"

void RegisterEngine()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Process-wide state, set here once before any other thread runs, and nowhere else:
        // SVT-AV1 writes its own log to the standard error output (errors only), FFmpeg's goes to
        // the debug log.
        setenv("SVT_LOG", "1", 0);
        av_log_set_level(AV_LOG_VERBOSE);
        av_log_set_callback(ffmpeg::LogToDebugLog);
        RegisterPlatformDecoders();
        RegisterRenderers();
        RegisterMediaDiscs();
    });
}
