#include "play/engine_registration.h"

#include <mutex>

#include "decode/video_decoder_filter.h"
#include "demux/media_disc.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "render/audio_renderer.h"

void RegisterEngine()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ffmpeg::RouteLogsToDebugLog();
        RegisterPlatformDecoders();
        RegisterRenderers();
        RegisterMediaDiscs();
    });
}
