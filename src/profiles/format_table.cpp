#include "profiles/format_table.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<FormatCategory, 19> kCategories{{
    {20, "Modern", "Modern Title.bmp"},
    {1, "General Video", "General Video Title.bmp"},
    {2, "General Audio", "General Audio Title.bmp"},
    {3, "Apple TV", "TV Title.bmp"},
    {4, "HD Video", "HD Title.bmp"},
    {5, "Apple iPod", "iPod Title.bmp"},
    {6, "Apple iPad", "iPad Title.bmp"},
    {7, "Apple iPhone", "iPhone Title.bmp"},
    {8, "Lossless Audio", "LS Title.bmp"},
    {9, "Mobile Phone", "Mobile Phone Title.bmp"},
    {10, "Android", "Android Title.bmp"},
    {11, "Animation", "Picture Title.bmp"},
    {12, "PMP", "PMP Title.bmp"},
    {13, "PS3", "PS3 Title.bmp"},
    {14, "PSP", "PSP Title.bmp"},
    {15, "Wii", "WD Title.bmp"},
    {16, "Xbox", "XBOX Title.bmp"},
    {17, "Zune", "Zune Title.bmp"},
    {19, "Original quality", "Original Title.bmp"},
}};

constexpr std::array<FormatEntry, 115> kFormats{{
    {1, 32801, 0, "ASF-Advanced Streaming Format(*.asf)", "ASF.bmp", "Microsoft's streaming container, played by Windows Media Player."},
    {1, 32802, 1, "AVI-Audio-Video Interleaved(*.avi)", "AVI.bmp", "Format which allows synchronous audio-with-video playback. "},
    {1, 32803, 2, "DV-Digital Video(*.dv)", "DV.bmp", "Digital Video as camcorders record it, for editing."},
    {1, 32804, 3, "DVD-DVD Video(*.vob)", "DVD.bmp", "MPEG-2 program stream in the form DVD players read."},
    {1, 32805, 4, "DivX Video(*.avi)", "DIVX.bmp", "MPEG-4 video in AVI, for DivX certified players."},
    {1, 32806, 5, "H.264/MPEG-4 AVC Video(*.mp4)", "AVC.bmp", "H.264 video with AAC sound: small files, sharp pictures."},
    {1, 32807, 6, "MOV-QuickTime Video(*.mov)", "MOV.bmp", "Apple QuickTime movie."},
    {1, 32808, 7, "MP4-MPEG-4 Video(*.mp4)", "MP4.bmp", "MPEG-4 video with AAC sound, played almost everywhere."},
    {1, 32809, 8, "MPEG1 Video(*.mpg)", "MPEG.bmp", "MPEG-1 video, the format of Video CDs."},
    {1, 32810, 9, "MPEG2 Video(*.mpg)", "MPEG2.bmp", "MPEG-2 video at DVD quality."},
    {1, 32813, 10, "WMV-Windows Media Video(*.wmv)", "WMV.bmp", "Windows Media Video for Windows computers."},
    {1, 32814, 11, "MKV-Audio-Video Format(*.mkv)", "MKV.bmp", "Matroska: an open container for video, sound and more."},
    {2, 32815, 12, "AAC-Advanced Audio Coding(*.aac)", "aac.bmp", "Advanced Audio Coding: better sound than MP3 at the same size."},
    {2, 32816, 13, "AC3-Dolby Digital AC-3(*.ac3)", "ac3.bmp", "Dolby Digital sound, as on DVDs."},
    {2, 32817, 14, "AIFF-Audio interchange file format(*.aiff)", "aiff.bmp", "Uncompressed sound for Apple computers."},
    {2, 32819, 15, "M4A-MPEG-4 Audio(*.m4a)", "m4a.bmp", "AAC sound in an MPEG-4 file, for iTunes and the iPod."},
    {2, 32820, 16, "MP2-MPEG Layer-2 Audio(*.mp2)", "mp2.bmp", "MPEG Layer-2 sound, as used in broadcasting."},
    {2, 32821, 17, "MP3-MPEG Layer-3 Audio(*.mp3)", "mp3.bmp", "MP3 sound for every music player."},
    {2, 32822, 18, "OGG-OGG Vorbis Audio(*.ogg)", "ogg.bmp", "Ogg Vorbis: free, open compressed sound."},
    {2, 32824, 19, "WAV-Waveform Audio(*.wav)", "wav.bmp", "Uncompressed waveform sound."},
    {2, 32825, 20, "WMA-Windows Media Audio(*.wma)", "wma.bmp", "Windows Media Audio."},
    {3, 32828, 21, "Apple TV-H.264 Video(*.mp4)", "TV.bmp", "H.264/MPEG4 AVC profile optimized for Apple TV."},
    {3, 32829, 22, "Apple TV-H.264 HD Video(*.mp4)", "TV.bmp", "H.264/MPEG4 AVC HD profile optimized for Apple TV."},
    {3, 32830, 23, "Apple TV-MPEG4 Video(*.mp4)", "TV.bmp", "MPEG-4 profile optimized for Apple TV."},
    {4, 32831, 24, "HD-ASF Video(*.asf)", "HD ASF.bmp", "High-definition video in ASF."},
    {4, 32832, 25, "HD-AVI Video(*.avi)", "HD AVI.bmp", "High-definition video in AVI."},
    {4, 32833, 26, "HD-DivX Video(*.avi)", "HD DIVX.bmp", "High-definition DivX video."},
    {4, 32876, 27, "HD-H.264 Video(*.mp4)", "HD AVC.bmp", "High-definition H.264 video."},
    {4, 32877, 28, "HD-MOV Video(*.mov)", "HD MOV.bmp", "High-definition QuickTime movie."},
    {4, 32878, 29, "HD-MPEG2 TS Video(*.ts)", "HD MPEG2.bmp", "High-definition MPEG-2 in a transport stream."},
    {4, 32879, 30, "HD-MPEG2-PS Video(*.mpg)", "HD MPEG2.bmp", "High-definition MPEG-2 in a program stream."},
    {4, 32883, 31, "HD-MPEG4 Video(*.mp4)", "HD MPEG4.bmp", "High-definition MPEG-4 video."},
    {4, 32881, 32, "HD-WMV Video(*.wmv)", "HD WMV.bmp", "High-definition Windows Media Video."},
    {5, 32836, 33, "iPod-H.264 Video(*.mp4)", "ipod.bmp", "H.264 profile optimized for the iPod."},
    {5, 32837, 34, "iPod-H.264 Video for TV(*.mp4)", "iPod tv.bmp", "H.264 profile for showing iPod video on a TV."},
    {5, 32838, 35, "iPod-MPEG4 Video(*.mp4)", "ipod.bmp", "MPEG-4 profile optimized for the iPod."},
    {5, 32839, 36, "iPod-MPEG4 Video for TV(*.mp4)", "iPod tv.bmp", "MPEG-4 profile for showing iPod video on a TV."},
    {5, 32840, 37, "iPod nano5-H.264 Video(*.mp4)", "ipod.bmp", "H.264 profile for the fifth iPod nano."},
    {5, 32841, 38, "iPod nano5-MPEG4 Video(*.mp4)", "ipod.bmp", "MPEG-4 profile for the fifth iPod nano."},
    {5, 32842, 39, "iPod touch-H.264 Video(*.mp4)", "ipod touch.bmp", "H.264 profile optimized for the iPod touch."},
    {5, 32843, 40, "iPod touch-H.264 Video for TV(*.mp4)", "ipod touch.bmp", "H.264 profile for showing iPod touch video on a TV."},
    {5, 32844, 41, "iPod touch-MPEG4 Video(*.mp4)", "ipod touch.bmp", "MPEG-4 profile optimized for the iPod touch."},
    {5, 32845, 42, "iPod touch-MPEG4 Video for TV(*.mp4)", "ipod touch.bmp", "MPEG-4 profile for showing iPod touch video on a TV."},
    {6, 32846, 43, "iPad-H.264 Video(*.mp4)", "IPAD35.bmp", "H.264 profile optimized for the iPad."},
    {6, 32847, 44, "iPad-H.264 HD Video(*.mp4)", "IPAD35.bmp", "H.264 HD profile optimized for the iPad."},
    {6, 32848, 45, "iPad-MPEG4 Video(*.mp4)", "IPAD35.bmp", "MPEG-4 profile optimized for the iPad."},
    {7, 32850, 47, "iPhone-3GS MPEG4 Video(*.mp4)", "iPhone.bmp", "MPEG-4 profile for the iPhone 3GS."},
    {7, 32852, 47, "iPhone-3G MPEG4 Video(*.mp4)", "iPhone.bmp", "MPEG-4 profile for the iPhone 3G."},
    {7, 32884, 48, "iPhone-4 Video(*.mp4)", "iPhone.bmp", "H.264 profile for the iPhone 4's larger screen."},
    {7, 32854, 49, "iPhone-MPEG4 Video(*.mp4)", "iPhone.bmp", "MPEG-4 profile optimized for the iPhone."},
    {7, 32855, 50, "iPhone-H.264 Video(*.mp4)", "iPhone.bmp", "H.264 profile optimized for the iPhone."},
    {8, 32856, 51, "OGG-OGG Vorbis Audio(*.ogg)", "OGG.bmp", "Ogg Vorbis sound at high quality."},
    {8, 32885, 52, "FLAC-Free Lossless Audio(*.flac)", "flac.bmp", "Free Lossless Audio Codec: every bit of the sound kept."},
    {8, 32886, 53, "WAV-Waveform Audio(*.wav)", "wav.bmp", "Uncompressed waveform sound, nothing lost."},
    {8, 32887, 54, "WMA-Windows Media Audio(*.wma)", "wma.bmp", "Windows Media Audio at high quality."},
    {9, 32888, 55, "3GP-Mobile Phone 3GP Video-Mono(*.3gp)", "3GPP.bmp", "3GP video with mono sound for mobile phones."},
    {9, 32889, 56, "3GP-Mobile Phone 3GP Video-Stereo(*.3gp)", "3GPP2.bmp", "3GP video with stereo sound for mobile phones."},
    {9, 32890, 57, "BlackBerry-3GP Video(*.3gp)", "blackberry.bmp", "3GP profile for BlackBerry phones."},
    {9, 32891, 58, "BlackBerry-AVI Video(*.avi)", "blackberry.bmp", "AVI profile for BlackBerry phones."},
    {9, 32892, 59, "BlackBerry-MPEG4 Video(*.mp4)", "blackberry.bmp", "MPEG-4 profile for BlackBerry phones."},
    {9, 32893, 60, "WMA-Windows Media Audio(*.wma)", "wma.bmp", "Windows Media Audio for phones."},
    {10, 32858, 61, "Android-MPEG4 Video(*.mp4)", "Android.bmp", "MPEG-4 profile for Android phones."},
    {10, 32862, 62, "Motorola CLIQ-MPEG4 Video(*.mp4)", "motoroal cliq.bmp", "MPEG-4 profile for the Motorola CLIQ."},
    {10, 32863, 63, "Motorola Droid-MPEG4 Video(*.mp4)", "motorola droid.bmp", "MPEG-4 profile for the Motorola Droid."},
    {10, 32864, 64, "Nexus One-MPEG4 Video(*.mp4)", "nexus one.bmp", "MPEG-4 profile for the Nexus One."},
    {10, 32865, 65, "SamSung i7500-MPEG4 Video(*.mp4)", "samsung.bmp", "MPEG-4 profile for the Samsung i7500."},
    {11, 32866, 66, "FLV-Flash Video Format(*.flv)", "flv.bmp", "Flash Video for web pages."},
    {11, 32867, 67, "SWF-SWF Format(*.swf)", "swf.bmp", "Shockwave Flash movie."},
    {11, 32868, 68, "F4V-Flash Video Format(*.flv)", "f4v.bmp", "H.264 Flash Video for web pages."},
    {12, 32894, 69, "Archos-H.264 Video(*.mp4)", "archos.bmp", "H.264 profile for Archos players."},
    {12, 32895, 70, "Archos-MPEG4 Video(*.mp4)", "archos.bmp", "MPEG-4 profile for Archos players."},
    {12, 32896, 71, "Archos-WMV Video(*.wmv)", "archos.bmp", "Windows Media profile for Archos players."},
    {12, 32897, 72, "Creative ZEN-H.264 Video(*.mp4)", "zen.bmp", "H.264 profile for Creative ZEN players."},
    {12, 32898, 73, "Creative ZEN-MPEG4 Video(*.mp4)", "zen.bmp", "MPEG-4 profile for Creative ZEN players."},
    {12, 32899, 74, "Creative ZEN-WMV Video(*.wmv)", "zen.bmp", "Windows Media profile for Creative ZEN players."},
    {12, 32900, 75, "iRiver-H.264 Video(*.mp4)", "IRIVER.bmp", "H.264 profile for iRiver players."},
    {12, 32901, 76, "iRiver-MPEG4 Video(*.mp4)", "IRIVER.bmp", "MPEG-4 profile for iRiver players."},
    {12, 32902, 77, "iRiver-WMV Video(*.wmv)", "IRIVER.bmp", "Windows Media profile for iRiver players."},
    {13, 32903, 78, "PS3-H.264 Video(*.mp4)", "PS3.bmp", "H.264 profile for the PlayStation 3."},
    {13, 32904, 79, "PS3-DivX HD Video(*.avi)", "PS3.bmp", "DivX HD profile for the PlayStation 3."},
    {13, 32905, 80, "PS3-DivX Video(*.avi)", "PS3.bmp", "DivX profile for the PlayStation 3."},
    {13, 32906, 81, "PS3-H.264 HD Video(*.mp4)", "PS3.bmp", "H.264 HD profile for the PlayStation 3."},
    {13, 32907, 82, "PS3-MPEG2 Video(*.mpg)", "PS3.bmp", "MPEG-2 profile for the PlayStation 3."},
    {13, 32908, 83, "PS3-MPEG2-PS HD Video(*.mpg)", "PS3.bmp", "MPEG-2 program stream HD profile for the PlayStation 3."},
    {13, 32909, 84, "PS3-MPEG2 TS HD Video(*.ts)", "PS3.bmp", "MPEG-2 transport stream HD profile for the PlayStation 3."},
    {13, 32910, 85, "PS3-WMV HD Video(*.wmv)", "PS3.bmp", "Windows Media HD profile for the PlayStation 3."},
    {13, 32911, 86, "PS3-WMV Video(*.wmv)", "PS3.bmp", "Windows Media profile for the PlayStation 3."},
    {14, 32869, 87, "PSP-H.264 Video(*.mp4)", "PSP.bmp", "H.264 profile for the PSP."},
    {14, 32870, 88, "PSP-H.264 Video for TV(*.mp4)", "PSP.bmp", "H.264 profile for showing PSP video on a TV."},
    {14, 32871, 89, "PSP-H.264 Video for firmware 2.00 or above(*.mp4)", "PSP.bmp", "MPEG4 profile optimized for for PSP firmware 2.00 or above."},
    {14, 32872, 90, "PSP-MPEG4 Video(*.mp4)", "PSP.bmp", "MPEG-4 profile for the PSP."},
    {15, 32912, 91, "Wii -AVI Video(*.avi)", "wii.bmp", "AVI profile for the Wii."},
    {15, 32913, 92, "Wii -MOV Video(*.mov)", "wii.bmp", "QuickTime profile for the Wii."},
    {16, 32914, 93, "Xbox360 -WMV Video(*.wmv)", "XBOX.bmp", "Windows Media profile for the Xbox 360."},
    {16, 32915, 94, "Xbox360 -DivX HD Video(*.avi)", "XBOX.bmp", "DivX HD profile for the Xbox 360."},
    {16, 32916, 95, "Xbox360 -DivX Video(*.avi)", "XBOX.bmp", "DivX profile for the Xbox 360."},
    {16, 32917, 96, "Xbox360 -H.264 HD Video(*.mov)", "XBOX.bmp", "H.264 HD profile for the Xbox 360."},
    {16, 32918, 97, "Xbox360 -H.264 Video(*.mov)", "XBOX.bmp", "H.264 profile for the Xbox 360."},
    {16, 32919, 98, "Xbox360 -MPEG2 Video(*.mpg)", "XBOX.bmp", "MPEG-2 profile for the Xbox 360."},
    {16, 32920, 99, "Xbox360 -MPEG2-PS HD Video(*.mpg)", "XBOX.bmp", "MPEG-2 program stream HD profile for the Xbox 360."},
    {16, 32921, 100, "Xbox360 -MPEG2 TS HD Video(*.ts)", "XBOX.bmp", "MPEG-2 transport stream HD profile for the Xbox 360."},
    {16, 32874, 101, "Xbox360 -MPEG4 HD Video(*.mov)", "XBOX.bmp", "MPEG-4 HD profile for the Xbox 360."},
    {16, 32922, 102, "Xbox360 -MPEG4 Video(*.mov)", "XBOX.bmp", "MPEG-4 profile for the Xbox 360."},
    {16, 32923, 103, "Xbox360 -WMV HD Video(*.wmv)", "XBOX.bmp", "Windows Media HD profile for the Xbox 360."},
    {17, 32925, 104, "Zune - WMV Video(*.wmv)", "ZUNE.bmp", "Windows Media profile for the Zune."},
    {17, 32926, 105, "Zune - H.264 Video(*.mp4)", "ZUNE.bmp", "H.264 profile for the Zune."},
    {17, 32927, 106, "Zune - MPEG4 Video(*.mp4)", "ZUNE.bmp", "MPEG-4 profile for the Zune."},
    {19, 32928, 107, "MKV — video, sound and subtitles as on the disc", "Original MKV.bmp",
     "The title's video, sound and subtitles copied as they are, with chapters and languages."},
    {20, 32929, 108, "H.264 MKV — constant quality", "Modern H264 MKV.bmp", "x264 at CRF 20: plays everywhere, the size follows the picture."},
    {20, 32930, 109, "H.264 MP4 — constant quality", "Modern H264 MP4.bmp", "x264 at CRF 20 in MP4, for phones, TVs and browsers."},
    {20, 32931, 110, "H.265 MKV — constant quality", "Modern H265 MKV.bmp", "x265 at CRF 22: half the size of H.264 for the same picture."},
    {20, 32932, 111, "H.265 MP4 — constant quality", "Modern H265 MP4.bmp", "x265 at CRF 22 in MP4, as Apple devices play it."},
    {20, 32933, 112, "AV1 MKV — constant quality", "Modern AV1 MKV.bmp", "SVT-AV1 at CRF 30 with Opus sound: the smallest files."},
    {20, 32934, 113, "AV1 WebM — constant quality", "Modern AV1 WebM.bmp", "SVT-AV1 at CRF 30 with Opus sound in WebM, for browsers."},
    {20, 32935, 114, "VP9 WebM — constant quality", "Modern VP9 WebM.bmp", "libvpx-vp9 at CQ 32 with Opus sound in WebM, for browsers."},
}};

} // namespace

std::span<const FormatCategory> FormatCategories() { return kCategories; }
std::span<const FormatEntry> FormatEntries() { return kFormats; }

const FormatEntry* FindFormat(int command)
{
    auto it = std::find_if(kFormats.begin(), kFormats.end(), [command](const FormatEntry& e) { return e.command == command; });
    return it == kFormats.end() ? nullptr : &*it;
}

int ProfileForCommand(int command)
{
    const FormatEntry* entry = FindFormat(command);
    return entry ? entry->profile : 0;
}

const FormatEntry* FormatOfProfile(int profile)
{
    const auto it = std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatEntry& f) { return f.profile == profile; });
    return it == kFormats.end() ? nullptr : &*it;
}

bool TakesSeveralSoundStreams(int profile, bool hasVideo, std::string_view extension)
{
    constexpr int kGeneralVideo = 1, kHdVideo = 4, kOriginal = 19, kModern = 20;
    const FormatEntry* format = FormatOfProfile(profile);
    if (!hasVideo || !format ||
        (format->category != kGeneralVideo && format->category != kHdVideo && format->category != kOriginal && format->category != kModern))
        return false;
    for (std::string_view holder : {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".avi", ".mpg", ".vob"})
        if (extension == holder) return true;
    return false;
}
