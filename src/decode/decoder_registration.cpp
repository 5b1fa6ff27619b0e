#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "decode/audio_decoder_filter.h"
#include "decode/video_decoder_filter.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"

void RegisterPlatformDecoders()
{
    CClassFactory& factory = CClassFactory::Instance();
    factory.Register(FilterRegistration{
        .clsid = CLSID_MpegVideoDecoder,
        .name = "MPEG Video Decoder",
        .merit = MERIT_NORMAL,
        .create = &CVideoDecoderFilter::CreateInstance,
        .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload},
                       {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Packet},
                       {MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO},
                       {MEDIATYPE_Video, MEDIASUBTYPE_AVC1},
                       {MEDIATYPE_Video, MEDIASUBTYPE_WVC1},
                       {MEDIATYPE_Video, MEDIASUBTYPE_DVD_SUBPICTURE},
                       {MEDIATYPE_Subtitle, MEDIASUBTYPE_HDMVSUB}},
        .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}},
    });
    factory.Register(FilterRegistration{
        .clsid = CLSID_MpegAudioDecoder,
        .name = "MPEG Audio Decoder",
        .merit = MERIT_NORMAL,
        .create = &CAudioDecoderFilter::CreateInstance,
        .inputTypes = {{MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO},
                       {MEDIATYPE_Audio, FourCCGuid(WAVE_FORMAT_MPEGLAYER3)},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_HDMV_LPCM_AUDIO},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_DTS},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_WAVE_DTS},
                       {MEDIATYPE_Audio, MEDIASUBTYPE_AAC},
                       {MEDIATYPE_Audio, FourCCGuid(0xF521)}},
        .outputTypes = {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}},
    });
}
