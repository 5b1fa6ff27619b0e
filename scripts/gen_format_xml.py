#!/usr/bin/env python3
"""Writes data/Format.xml, the profile catalogue: 107 profiles in the order of the format
selector's table, so that the profile with index n is that table's profile n.

Each profile names FFmpeg encoders that Debian's FFmpeg provides, with a frame size, frame rate,
bit rates, sample rate and channel count that suit its format or device, and option lists that
hold the current values. The output is committed; run this again after changing the table."""
import sys
from xml.sax.saxutils import quoteattr

# ---- option lists ----

def items(pairs):
    return ",".join(f"{v}${l}" if l is not None and l != str(v) else str(v) for v, l in pairs)

def kbps(values):
    return items((v, f"{v // 1000} kbps") for v in values)

def sizes(*dims):
    return ",".join(f"{w}*{h}" for w, h in dims)

FR_MPEG = items([(23976, "23.976"), (24000, "24"), (25000, "25"), (29970, "29.97"), (30000, "30")])
FR_ANY = items([(12000, "12"), (15000, "15"), (20000, "20"), (23976, "23.976"), (24000, "24"),
                (25000, "25"), (29970, "29.97"), (30000, "30")])
FR_LOW = items([(10000, "10"), (12000, "12"), (15000, "15"), (20000, "20"), (25000, "25"), (29970, "29.97")])
FR_DV = items([(29970, "29.97")])

VBR_SD = kbps([256000, 384000, 512000, 768000, 1000000, 1200000, 1500000, 2000000, 2500000, 3000000,
               4000000, 5000000, 6000000, 8000000])
VBR_HD = kbps([2000000, 3000000, 4000000, 5000000, 6000000, 8000000, 10000000, 12000000, 15000000,
               20000000])
VBR_LOW = kbps([64000, 96000, 128000, 192000, 256000, 384000, 512000, 768000, 1000000])
VBR_MPEG1 = kbps([1150000, 1500000, 2000000, 2500000])
VBR_DV = kbps([25000000])

ABR = kbps([64000, 96000, 128000, 160000, 192000, 224000, 256000, 320000])
ABR_AC3 = kbps([128000, 192000, 224000, 256000, 320000, 384000, 448000, 640000])
ABR_LOW = kbps([12000, 16000, 24000, 32000, 48000, 64000])
ABR_PCM = items([(1411200, "1411 kbps"), (1536000, "1536 kbps")])
ABR_WMA = kbps([64000, 96000, 128000, 160000, 192000])

SR = "22050,32000,44100,48000"
SR_MP3 = "22050,32000,44100,48000"
SR_AC3 = "32000,44100,48000"
SR_FLV = "11025,22050,44100"
SR_LOW = "8000,11025,16000,22050"
SR_DV = "32000,48000"

CH = items([(1, "Mono"), (2, "Stereo")])
CH_51 = items([(1, "Mono"), (2, "Stereo"), (6, "5.1")])
CH_STEREO = items([(2, "Stereo")])

SD = sizes((320, 240), (352, 240), (352, 288), (480, 320), (640, 480), (704, 480), (720, 480), (720, 576))
HD = sizes((1280, 720), (1440, 1080), (1920, 1080))
MPEG1_SIZES = sizes((320, 240), (352, 240), (352, 288))
DV_SIZES = sizes((720, 480))
PHONE = sizes((128, 96), (176, 144), (320, 240), (352, 288))
HANDHELD = sizes((176, 144), (320, 240), (368, 208), (400, 240), (480, 272), (480, 320), (640, 480))
ANDROID = sizes((320, 240), (480, 320), (640, 480), (800, 480), (854, 480))
TABLET = sizes((640, 480), (1024, 576), (1024, 768), (1280, 720))
IPHONE = sizes((320, 240), (480, 320), (640, 480), (960, 640))

V_MP4 = items([("libx264", "H.264"), ("mpeg4", "MPEG-4")])
V_AVI = items([("mpeg4", "MPEG-4"), ("libxvid", "Xvid"), ("msmpeg4", "MS MPEG-4 v3"), ("mjpeg", "Motion JPEG")])
V_ASF = items([("msmpeg4", "MS MPEG-4 v3"), ("wmv1", "WMV 7"), ("wmv2", "WMV 8")])
V_MPEG = items([("mpeg1video", "MPEG-1"), ("mpeg2video", "MPEG-2")])
V_MKV = items([("libx264", "H.264"), ("mpeg4", "MPEG-4"), ("mpeg2video", "MPEG-2")])
V_FLV = items([("flv", "Sorenson H.263"), ("libx264", "H.264")])
V_3GP = items([("h263", "H.263"), ("mpeg4", "MPEG-4"), ("libx264", "H.264")])
V_MOV = items([("libx264", "H.264"), ("mpeg4", "MPEG-4"), ("mjpeg", "Motion JPEG")])
V_TS = items([("mpeg2video", "MPEG-2"), ("libx264", "H.264")])
V_DV = items([("dvvideo", "DV")])

A_MP4 = items([("aac", "AAC")])
A_AVI = items([("libmp3lame", "MP3"), ("mp2", "MP2"), ("ac3", "AC-3"), ("pcm_s16le", "PCM")])
A_ASF = items([("wmav2", "WMA 2"), ("wmav1", "WMA 1"), ("libmp3lame", "MP3")])
A_MPEG = items([("mp2", "MP2"), ("ac3", "AC-3")])
A_MKV = items([("libvorbis", "Vorbis"), ("aac", "AAC"), ("ac3", "AC-3"), ("libmp3lame", "MP3")])
A_FLV = items([("libmp3lame", "MP3"), ("aac", "AAC")])
A_TS = items([("ac3", "AC-3"), ("mp2", "MP2"), ("aac", "AAC")])
A_MOV = items([("aac", "AAC"), ("pcm_s16le", "PCM")])
A_DV = items([("pcm_s16le", "PCM")])


def video(codec, w, h, fps, bitrate, codecs, resolutions, rates=FR_ANY, bitrates=VBR_SD):
    return dict(VideoCodecName=codec, Width=w, Height=h, FrameRate=fps, VideoBitRate=bitrate,
                VideoCodecs=codecs, Resolutions=resolutions, FrameRates=rates, VideoBitRates=bitrates)


def audio(codec, rate, bitrate, channels, codecs, rates=SR, channel_list=CH, bitrates=ABR):
    return dict(AudioCodecName=codec, SampleRate=rate, AudioBitRate=bitrate, Channel=channels,
                AudioCodecs=codecs, SampleRates=rates, Channels=channel_list, AudioBitRates=bitrates)


# Ready-made pairs.
def h264(w, h, bitrate, fps=29970, resolutions=SD, rates=FR_ANY, bitrates=VBR_SD, codecs=V_MP4):
    return video("libx264", w, h, fps, bitrate, codecs, resolutions, rates, bitrates)

def mpeg4(w, h, bitrate, fps=29970, resolutions=SD, rates=FR_ANY, bitrates=VBR_SD, codecs=V_MP4):
    return video("mpeg4", w, h, fps, bitrate, codecs, resolutions, rates, bitrates)

AAC = audio("aac", 48000, 128000, 2, A_MP4)
AAC_44 = audio("aac", 44100, 128000, 2, A_MP4)
AAC_160 = audio("aac", 48000, 160000, 2, A_MP4)
MP3 = audio("libmp3lame", 44100, 128000, 2, A_AVI, SR_MP3)
MP3_HQ = audio("libmp3lame", 48000, 192000, 2, A_AVI, SR_MP3)
WMA = audio("wmav2", 44100, 128000, 2, A_ASF, SR, CH, ABR_WMA)
MP2 = audio("mp2", 48000, 224000, 2, A_MPEG, SR_AC3)
AC3 = audio("ac3", 48000, 192000, 2, A_TS, SR_AC3, CH_51, ABR_AC3)
AC3_MPEG = audio("ac3", 48000, 192000, 2, A_MPEG, SR_AC3, CH_51, ABR_AC3)


def profile(name, ext, v=None, a=None):
    p = dict(ProfileName=name, FormatExt=ext)
    if v:
        p.update(v)
    if a:
        p.update(a)
    return p


PROFILES = [
    # 1 General Video
    profile("ASF-Advanced Streaming Format(*.asf)", ".asf",
            video("msmpeg4", 640, 480, 29970, 1500000, V_ASF, SD), WMA),
    profile("AVI-Audio-Video Interleaved(*.avi)", ".avi", mpeg4(640, 480, 1500000, codecs=V_AVI), MP3),
    profile("DV-Digital Video(*.dv)", ".dv",
            video("dvvideo", 720, 480, 29970, 25000000, V_DV, DV_SIZES, FR_DV, VBR_DV),
            audio("pcm_s16le", 48000, 1536000, 2, A_DV, SR_DV, CH_STEREO, ABR_PCM)),
    profile("DVD-DVD Video(*.vob)", ".vob",
            video("mpeg2video", 720, 480, 29970, 6000000, V_MPEG, SD, FR_MPEG), AC3_MPEG),
    profile("DivX Video(*.avi)", ".avi", video("libxvid", 640, 480, 29970, 1500000, V_AVI, SD), MP3),
    profile("H.264/MPEG-4 AVC Video(*.mp4)", ".mp4", h264(640, 480, 1500000), AAC),
    profile("MOV-QuickTime Video(*.mov)", ".mov", mpeg4(640, 480, 1500000, codecs=V_MOV), audio("aac", 48000, 128000, 2, A_MOV)),
    profile("MP4-MPEG-4 Video(*.mp4)", ".mp4", mpeg4(640, 480, 1500000), AAC),
    profile("MPEG1 Video(*.mpg)", ".mpg",
            video("mpeg1video", 352, 240, 29970, 1150000, V_MPEG, MPEG1_SIZES, FR_MPEG, VBR_MPEG1),
            audio("mp2", 44100, 224000, 2, A_MPEG, SR_AC3)),
    profile("MPEG2 Video(*.mpg)", ".mpg",
            video("mpeg2video", 720, 480, 29970, 6000000, V_MPEG, SD, FR_MPEG), MP2),
    profile("WMV-Windows Media Video(*.wmv)", ".wmv", video("wmv2", 640, 480, 29970, 1500000, V_ASF, SD), WMA),
    profile("MKV-Audio-Video Format(*.mkv)", ".mkv", h264(720, 480, 2000000, codecs=V_MKV),
            audio("libvorbis", 48000, 160000, 2, A_MKV)),
    # 2 General Audio
    profile("AAC-Advanced Audio Coding(*.aac)", ".aac", None, AAC),
    profile("AC3-Dolby Digital AC-3(*.ac3)", ".ac3", None,
            audio("ac3", 48000, 192000, 2, items([("ac3", "AC-3")]), SR_AC3, CH_51, ABR_AC3)),
    profile("AIFF-Audio interchange file format(*.aiff)", ".aiff", None,
            audio("pcm_s16be", 44100, 1411200, 2, items([("pcm_s16be", "PCM")]), SR, CH, ABR_PCM)),
    profile("M4A-MPEG-4 Audio(*.m4a)", ".m4a", None, AAC_44),
    profile("MP2-MPEG Layer-2 Audio(*.mp2)", ".mp2", None,
            audio("mp2", 48000, 224000, 2, items([("mp2", "MP2")]), SR_AC3)),
    profile("MP3-MPEG Layer-3 Audio(*.mp3)", ".mp3", None,
            audio("libmp3lame", 44100, 192000, 2, items([("libmp3lame", "MP3")]), SR_MP3)),
    profile("OGG-OGG Vorbis Audio(*.ogg)", ".ogg", None,
            audio("libvorbis", 44100, 160000, 2, items([("libvorbis", "Vorbis")]))),
    profile("WAV-Waveform Audio(*.wav)", ".wav", None,
            audio("pcm_s16le", 44100, 1411200, 2, items([("pcm_s16le", "PCM")]), SR, CH, ABR_PCM)),
    profile("WMA-Windows Media Audio(*.wma)", ".wma", None,
            audio("wmav2", 44100, 128000, 2, items([("wmav2", "WMA 2"), ("wmav1", "WMA 1")]), SR, CH, ABR_WMA)),
    # 3 Apple TV
    profile("Apple TV-H.264 Video(*.mp4)", ".mp4", h264(960, 540, 2500000, resolutions=TABLET + ",960*540"), AAC_160),
    profile("Apple TV-H.264 HD Video(*.mp4)", ".mp4",
            h264(1280, 720, 5000000, fps=23976, resolutions=HD, bitrates=VBR_HD), AAC_160),
    profile("Apple TV-MPEG4 Video(*.mp4)", ".mp4", mpeg4(640, 480, 2500000), AAC_160),
    # 4 HD Video
    profile("HD-ASF Video(*.asf)", ".asf", video("msmpeg4", 1280, 720, 29970, 6000000, V_ASF, HD, FR_ANY, VBR_HD),
            audio("wmav2", 48000, 192000, 2, A_ASF, SR, CH, ABR_WMA)),
    profile("HD-AVI Video(*.avi)", ".avi", mpeg4(1280, 720, 6000000, resolutions=HD, bitrates=VBR_HD, codecs=V_AVI),
            MP3_HQ),
    profile("HD-DivX Video(*.avi)", ".avi",
            video("libxvid", 1280, 720, 29970, 6000000, V_AVI, HD, FR_ANY, VBR_HD), MP3_HQ),
    profile("HD-H.264 Video(*.mp4)", ".mp4", h264(1920, 1080, 8000000, resolutions=HD, bitrates=VBR_HD), AAC_160),
    profile("HD-MOV Video(*.mov)", ".mov",
            h264(1280, 720, 6000000, resolutions=HD, bitrates=VBR_HD, codecs=V_MOV), audio("aac", 48000, 160000, 2, A_MOV)),
    profile("HD-MPEG2 TS Video(*.ts)", ".ts",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_TS, HD, FR_MPEG, VBR_HD), AC3),
    profile("HD-MPEG2-PS Video(*.mpg)", ".mpg",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_MPEG, HD, FR_MPEG, VBR_HD), MP2),
    profile("HD-MPEG4 Video(*.mp4)", ".mp4", mpeg4(1280, 720, 6000000, resolutions=HD, bitrates=VBR_HD), AAC_160),
    profile("HD-WMV Video(*.wmv)", ".wmv", video("wmv2", 1280, 720, 29970, 6000000, V_ASF, HD, FR_ANY, VBR_HD),
            audio("wmav2", 48000, 192000, 2, A_ASF, SR, CH, ABR_WMA)),
    # 5 Apple iPod
    profile("iPod-H.264 Video(*.mp4)", ".mp4", h264(320, 240, 768000, resolutions=HANDHELD), AAC_44),
    profile("iPod-H.264 Video for TV(*.mp4)", ".mp4", h264(640, 480, 1500000, resolutions=HANDHELD), AAC_44),
    profile("iPod-MPEG4 Video(*.mp4)", ".mp4", mpeg4(320, 240, 768000, resolutions=HANDHELD), AAC_44),
    profile("iPod-MPEG4 Video for TV(*.mp4)", ".mp4", mpeg4(640, 480, 2500000, resolutions=HANDHELD), AAC_44),
    profile("iPod nano5-H.264 Video(*.mp4)", ".mp4", h264(376, 240, 768000, resolutions=HANDHELD + ",376*240"), AAC_44),
    profile("iPod nano5-MPEG4 Video(*.mp4)", ".mp4", mpeg4(376, 240, 768000, resolutions=HANDHELD + ",376*240"), AAC_44),
    profile("iPod touch-H.264 Video(*.mp4)", ".mp4", h264(480, 320, 1000000, resolutions=HANDHELD), AAC_44),
    profile("iPod touch-H.264 Video for TV(*.mp4)", ".mp4", h264(640, 480, 1500000, resolutions=HANDHELD), AAC_44),
    profile("iPod touch-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 1200000, resolutions=HANDHELD), AAC_44),
    profile("iPod touch-MPEG4 Video for TV(*.mp4)", ".mp4", mpeg4(640, 480, 2500000, resolutions=HANDHELD), AAC_44),
    # 6 Apple iPad
    profile("iPad-H.264 Video(*.mp4)", ".mp4", h264(1024, 768, 2000000, resolutions=TABLET), AAC_160),
    profile("iPad-H.264 HD Video(*.mp4)", ".mp4", h264(1280, 720, 4000000, resolutions=TABLET, bitrates=VBR_HD), AAC_160),
    profile("iPad-MPEG4 Video(*.mp4)", ".mp4", mpeg4(1024, 768, 2500000, resolutions=TABLET), AAC_160),
    # 46: no format command selects it; it is one more iPhone profile, listed with the others.
    profile("iPhone-3G MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 1000000, resolutions=IPHONE), AAC_44),
    # 7 Apple iPhone
    profile("iPhone-3GS MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 1500000, resolutions=IPHONE), AAC_44),
    profile("iPhone-4 Video(*.mp4)", ".mp4", h264(960, 640, 2500000, resolutions=IPHONE), AAC_160),
    profile("iPhone-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 1200000, resolutions=IPHONE), AAC_44),
    profile("iPhone-H.264 Video(*.mp4)", ".mp4", h264(480, 320, 1000000, resolutions=IPHONE), AAC_44),
    # 8 Lossless Audio
    profile("OGG-OGG Vorbis Audio(*.ogg)", ".ogg", None,
            audio("libvorbis", 48000, 320000, 2, items([("libvorbis", "Vorbis")]))),
    profile("FLAC-Free Lossless Audio(*.flac)", ".flac", None,
            audio("flac", 48000, 1536000, 2, items([("flac", "FLAC")]), SR, CH_51, ABR_PCM)),
    profile("WAV-Waveform Audio(*.wav)", ".wav", None,
            audio("pcm_s16le", 48000, 1536000, 2, items([("pcm_s16le", "PCM")]), SR, CH_51, ABR_PCM)),
    profile("WMA-Windows Media Audio(*.wma)", ".wma", None,
            audio("wmav2", 48000, 192000, 2, items([("wmav2", "WMA 2"), ("wmav1", "WMA 1")]), SR, CH, ABR_WMA)),
    # 9 Mobile Phone
    profile("3GP-Mobile Phone 3GP Video-Mono(*.3gp)", ".3gp",
            video("h263", 176, 144, 15000, 128000, V_3GP, PHONE, FR_LOW, VBR_LOW),
            audio("aac", 22050, 32000, 1, A_MP4, SR_LOW, CH, ABR_LOW)),
    profile("3GP-Mobile Phone 3GP Video-Stereo(*.3gp)", ".3gp",
            video("h263", 352, 288, 15000, 384000, V_3GP, PHONE, FR_LOW, VBR_LOW),
            audio("aac", 22050, 64000, 2, A_MP4, SR_LOW, CH, ABR_LOW)),
    profile("BlackBerry-3GP Video(*.3gp)", ".3gp",
            video("mpeg4", 320, 240, 15000, 384000, V_3GP, HANDHELD, FR_LOW, VBR_LOW),
            audio("aac", 22050, 64000, 2, A_MP4, SR_LOW, CH, ABR_LOW)),
    profile("BlackBerry-AVI Video(*.avi)", ".avi", mpeg4(480, 360, 768000, fps=25000, resolutions=HANDHELD + ",480*360", codecs=V_AVI),
            audio("libmp3lame", 44100, 128000, 2, A_AVI, SR_MP3)),
    profile("BlackBerry-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 360, 768000, fps=25000, resolutions=HANDHELD + ",480*360"), AAC_44),
    profile("WMA-Windows Media Audio(*.wma)", ".wma", None,
            audio("wmav2", 44100, 96000, 2, items([("wmav2", "WMA 2"), ("wmav1", "WMA 1")]), SR, CH, ABR_WMA)),
    # 10 Android
    profile("Android-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 1000000, resolutions=ANDROID), AAC_44),
    profile("Motorola CLIQ-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 768000, resolutions=ANDROID), AAC_44),
    profile("Motorola Droid-MPEG4 Video(*.mp4)", ".mp4", mpeg4(854, 480, 1500000, resolutions=ANDROID), AAC_44),
    profile("Nexus One-MPEG4 Video(*.mp4)", ".mp4", mpeg4(800, 480, 1500000, resolutions=ANDROID), AAC_44),
    profile("SamSung i7500-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 320, 768000, resolutions=ANDROID), AAC_44),
    # 11 Animation
    profile("FLV-Flash Video Format(*.flv)", ".flv",
            video("flv", 320, 240, 25000, 512000, V_FLV, SD, FR_ANY, VBR_SD),
            audio("libmp3lame", 44100, 96000, 2, A_FLV, SR_FLV)),
    profile("SWF-SWF Format(*.swf)", ".swf",
            video("flv", 320, 240, 25000, 512000, items([("flv", "Sorenson H.263")]), SD, FR_ANY, VBR_SD),
            audio("libmp3lame", 44100, 96000, 2, items([("libmp3lame", "MP3")]), SR_FLV)),
    profile("F4V-Flash Video Format(*.flv)", ".flv",
            video("libx264", 640, 480, 25000, 1000000, V_FLV, SD, FR_ANY, VBR_SD),
            audio("aac", 44100, 128000, 2, A_FLV, SR_FLV)),
    # 12 PMP
    profile("Archos-H.264 Video(*.mp4)", ".mp4", h264(720, 480, 1500000), AAC),
    profile("Archos-MPEG4 Video(*.mp4)", ".mp4", mpeg4(720, 480, 2000000), AAC),
    profile("Archos-WMV Video(*.wmv)", ".wmv", video("wmv2", 720, 480, 29970, 2000000, V_ASF, SD), WMA),
    profile("Creative ZEN-H.264 Video(*.mp4)", ".mp4", h264(320, 240, 768000, resolutions=HANDHELD), AAC_44),
    profile("Creative ZEN-MPEG4 Video(*.mp4)", ".mp4", mpeg4(320, 240, 768000, resolutions=HANDHELD), AAC_44),
    profile("Creative ZEN-WMV Video(*.wmv)", ".wmv", video("wmv2", 320, 240, 29970, 768000, V_ASF, HANDHELD), WMA),
    profile("iRiver-H.264 Video(*.mp4)", ".mp4", h264(480, 272, 768000, resolutions=HANDHELD), AAC_44),
    profile("iRiver-MPEG4 Video(*.mp4)", ".mp4", mpeg4(480, 272, 768000, resolutions=HANDHELD), AAC_44),
    profile("iRiver-WMV Video(*.wmv)", ".wmv", video("wmv2", 480, 272, 29970, 768000, V_ASF, HANDHELD), WMA),
    # 13 PS3
    profile("PS3-H.264 Video(*.mp4)", ".mp4", h264(720, 480, 2500000), AAC_160),
    profile("PS3-DivX HD Video(*.avi)", ".avi", video("libxvid", 1280, 720, 29970, 6000000, V_AVI, HD, FR_ANY, VBR_HD),
            MP3_HQ),
    profile("PS3-DivX Video(*.avi)", ".avi", video("libxvid", 720, 480, 29970, 2500000, V_AVI, SD), MP3_HQ),
    profile("PS3-H.264 HD Video(*.mp4)", ".mp4", h264(1920, 1080, 8000000, resolutions=HD, bitrates=VBR_HD), AAC_160),
    profile("PS3-MPEG2 Video(*.mpg)", ".mpg", video("mpeg2video", 720, 480, 29970, 6000000, V_MPEG, SD, FR_MPEG), MP2),
    profile("PS3-MPEG2-PS HD Video(*.mpg)", ".mpg",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_MPEG, HD, FR_MPEG, VBR_HD), MP2),
    profile("PS3-MPEG2 TS HD Video(*.ts)", ".ts",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_TS, HD, FR_MPEG, VBR_HD), AC3),
    profile("PS3-WMV HD Video(*.wmv)", ".wmv", video("wmv2", 1280, 720, 29970, 6000000, V_ASF, HD, FR_ANY, VBR_HD),
            audio("wmav2", 48000, 192000, 2, A_ASF, SR, CH, ABR_WMA)),
    profile("PS3-WMV Video(*.wmv)", ".wmv", video("wmv2", 720, 480, 29970, 2500000, V_ASF, SD), WMA),
    # 14 PSP
    profile("PSP-H.264 Video(*.mp4)", ".mp4", h264(480, 272, 768000, resolutions=HANDHELD), AAC),
    profile("PSP-H.264 Video for TV(*.mp4)", ".mp4", h264(720, 480, 1500000), AAC),
    profile("PSP-H.264 Video for firmware 2.00 or above(*.mp4)", ".mp4", h264(320, 240, 768000, resolutions=HANDHELD), AAC),
    profile("PSP-MPEG4 Video(*.mp4)", ".mp4", mpeg4(320, 240, 768000, resolutions=HANDHELD), AAC),
    # 15 Wii
    profile("Wii -AVI Video(*.avi)", ".avi", video("mjpeg", 640, 480, 29970, 6000000, V_AVI, SD),
            audio("pcm_s16le", 48000, 1536000, 2, A_AVI, SR, CH, ABR_PCM)),
    profile("Wii -MOV Video(*.mov)", ".mov", video("mjpeg", 640, 480, 29970, 6000000, V_MOV, SD),
            audio("pcm_s16le", 48000, 1536000, 2, A_MOV, SR, CH, ABR_PCM)),
    # 16 Xbox
    profile("Xbox360 -WMV Video(*.wmv)", ".wmv", video("wmv2", 720, 480, 29970, 2500000, V_ASF, SD), WMA),
    profile("Xbox360 -DivX HD Video(*.avi)", ".avi", video("libxvid", 1280, 720, 29970, 6000000, V_AVI, HD, FR_ANY, VBR_HD),
            MP3_HQ),
    profile("Xbox360 -DivX Video(*.avi)", ".avi", video("libxvid", 720, 480, 29970, 2500000, V_AVI, SD), MP3_HQ),
    profile("Xbox360 -H.264 HD Video(*.mov)", ".mov",
            h264(1280, 720, 6000000, resolutions=HD, bitrates=VBR_HD, codecs=V_MOV), audio("aac", 48000, 160000, 2, A_MOV)),
    profile("Xbox360 -H.264 Video(*.mov)", ".mov", h264(720, 480, 2500000, codecs=V_MOV), audio("aac", 48000, 160000, 2, A_MOV)),
    profile("Xbox360 -MPEG2 Video(*.mpg)", ".mpg", video("mpeg2video", 720, 480, 29970, 6000000, V_MPEG, SD, FR_MPEG), MP2),
    profile("Xbox360 -MPEG2-PS HD Video(*.mpg)", ".mpg",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_MPEG, HD, FR_MPEG, VBR_HD), MP2),
    profile("Xbox360 -MPEG2 TS HD Video(*.ts)", ".ts",
            video("mpeg2video", 1920, 1080, 29970, 15000000, V_TS, HD, FR_MPEG, VBR_HD), AC3),
    profile("Xbox360 -MPEG4 HD Video(*.mov)", ".mov",
            mpeg4(1280, 720, 6000000, resolutions=HD, bitrates=VBR_HD, codecs=V_MOV), audio("aac", 48000, 160000, 2, A_MOV)),
    profile("Xbox360 -MPEG4 Video(*.mov)", ".mov", mpeg4(720, 480, 2500000, codecs=V_MOV), audio("aac", 48000, 160000, 2, A_MOV)),
    profile("Xbox360 -WMV HD Video(*.wmv)", ".wmv", video("wmv2", 1280, 720, 29970, 6000000, V_ASF, HD, FR_ANY, VBR_HD),
            audio("wmav2", 48000, 192000, 2, A_ASF, SR, CH, ABR_WMA)),
    # 17 Zune
    profile("Zune - WMV Video(*.wmv)", ".wmv", video("wmv2", 320, 240, 29970, 768000, V_ASF, HANDHELD), WMA),
    profile("Zune - H.264 Video(*.mp4)", ".mp4", h264(320, 240, 768000, resolutions=HANDHELD), AAC_44),
    profile("Zune - MPEG4 Video(*.mp4)", ".mp4", mpeg4(320, 240, 768000, resolutions=HANDHELD), AAC_44),
]

FIELDS = ["ProfileName", "FormatExt", "VideoCodecName", "Width", "Height", "FrameRate", "VideoBitRate",
          "AudioCodecName", "SampleRate", "AudioBitRate", "Channel", "Resolutions", "FrameRates", "VideoCodecs",
          "VideoBitRates", "SampleRates", "Channels", "AudioCodecs", "AudioBitRates"]
CAPACITY = dict(ProfileName=160, FormatExt=8, Resolutions=128, FrameRates=128, VideoBitRates=320,
                AudioBitRates=128, SampleRates=128, Channels=64, VideoCodecs=256, AudioCodecs=128,
                VideoCodecName=16, AudioCodecName=16)


def label_of(option_list, value):
    for item in option_list.split(","):
        v, _, l = item.partition("$")
        if v == value:
            return l or v
    return ""


def check(index, p):
    assert len(p) in (10, 11, 19), f"profile {index}: incomplete"
    for field, cap in CAPACITY.items():
        if field in p:
            assert len(p[field]) < cap, f"profile {index}: {field} too long ({len(p[field])})"
    if "VideoCodecName" in p:
        assert f"{p['Width']}*{p['Height']}" in p["Resolutions"].split(","), f"profile {index}: size not listed"
        for value, options in (("FrameRate", "FrameRates"), ("VideoCodecName", "VideoCodecs"),
                               ("VideoBitRate", "VideoBitRates")):
            assert label_of(p[options], str(p[value])), f"profile {index}: {value} not in {options}"
    if "AudioCodecName" in p:
        for value, options in (("SampleRate", "SampleRates"), ("Channel", "Channels"),
                               ("AudioCodecName", "AudioCodecs"), ("AudioBitRate", "AudioBitRates")):
            assert label_of(p[options], str(p[value])), f"profile {index}: {value} not in {options}"


def main(path):
    assert len(PROFILES) == 107, len(PROFILES)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<!-- The profile catalogue of ZuZidero. Generated by scripts/gen_format_xml.py. -->",
             "<Profiles>"]
    for index, p in enumerate(PROFILES):
        check(index, p)
        lines.append(f"  <!-- {index} -->")
        lines.append("  <Profile>")
        for field in FIELDS:
            if field in p:
                lines.append(f"    <{field} value={quoteattr(str(p[field]))} />")
        lines.append("  </Profile>")
    lines.append("</Profiles>")
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    print(f"{len(PROFILES)} profiles written to {path}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/Format.xml")
