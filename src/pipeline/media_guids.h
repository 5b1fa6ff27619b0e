#pragma once
// Major types, subtypes and format types of the media types the engine exchanges, with their
// published values.

#include "com/guid.h"

// Major types.
inline constexpr GUID MEDIATYPE_Video = FourCCGuid(MakeFourCC('v', 'i', 'd', 's'));
inline constexpr GUID MEDIATYPE_Audio = FourCCGuid(MakeFourCC('a', 'u', 'd', 's'));
inline constexpr GUID MEDIATYPE_Text = FourCCGuid(MakeFourCC('t', 'x', 't', 's'));
inline constexpr GUID MEDIATYPE_Stream = MakeGuid("{E436EB83-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIATYPE_MPEG2_PES = MakeGuid("{E06D8020-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIATYPE_MPEG2_PACK = MakeGuid("{36523B13-8EE5-11D1-8CA3-0060B057664A}");
inline constexpr GUID MEDIATYPE_DVD_ENCRYPTED_PACK = MakeGuid("{ED0B916A-044D-11D1-AA78-00C04FC31D60}");
inline constexpr GUID MEDIATYPE_Subtitle = MakeGuid("{E487EB08-6B26-4BE9-9DD3-993434D313FD}");

// Subtypes: uncompressed.
inline constexpr GUID MEDIASUBTYPE_YV12 = FourCCGuid(MakeFourCC('Y', 'V', '1', '2'));
inline constexpr GUID MEDIASUBTYPE_I420 = FourCCGuid(MakeFourCC('I', '4', '2', '0'));
inline constexpr GUID MEDIASUBTYPE_NV12 = FourCCGuid(MakeFourCC('N', 'V', '1', '2'));
inline constexpr GUID MEDIASUBTYPE_YUY2 = FourCCGuid(MakeFourCC('Y', 'U', 'Y', '2'));
inline constexpr GUID MEDIASUBTYPE_RGB32 = MakeGuid("{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_RGB24 = MakeGuid("{E436EB7D-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_PCM = FourCCGuid(0x00000001);

// Subtypes: MPEG streams and DVD.
inline constexpr GUID MEDIASUBTYPE_MPEG1System = MakeGuid("{E436EB84-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Packet = MakeGuid("{E436EB80-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Payload = MakeGuid("{E436EB81-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Video = MakeGuid("{E436EB86-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Audio = MakeGuid("{E436EB87-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload = FourCCGuid(0x00000050);
inline constexpr GUID MEDIASUBTYPE_MPEG2_PROGRAM = MakeGuid("{E06D8022-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_TRANSPORT = MakeGuid("{E06D8023-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_VIDEO = MakeGuid("{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_AUDIO = MakeGuid("{E06D802B-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_DOLBY_AC3 = MakeGuid("{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_DVD_SUBPICTURE = MakeGuid("{E06D802D-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_DVD_LPCM_AUDIO = MakeGuid("{E06D8032-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_DTS = MakeGuid("{E06D8033-DB46-11CF-B4D1-00805F6CBBEA}");

// Format types.
inline constexpr GUID FORMAT_None = MakeGuid("{0F6417D6-C318-11D0-A43F-00A0C9223196}");
inline constexpr GUID FORMAT_VideoInfo = MakeGuid("{05589F80-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_VideoInfo2 = MakeGuid("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}");
inline constexpr GUID FORMAT_WaveFormatEx = MakeGuid("{05589F81-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEGVideo = MakeGuid("{05589F82-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEGStreams = MakeGuid("{05589F83-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEG2_VIDEO = MakeGuid("{E06D80E3-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID FORMAT_MPEG2Video = FORMAT_MPEG2_VIDEO;

// Subtypes met by the MPEG splitter beyond DVD's.
inline constexpr GUID MEDIASUBTYPE_HDMV_LPCM_AUDIO = MakeGuid("{949F97FD-56F6-4527-B4AE-DDEB375AB80F}");
inline constexpr GUID MEDIASUBTYPE_SVCD_SUBPICTURE = MakeGuid("{DA5B82EE-6BD2-426F-BF1E-30112DA78AE1}");
inline constexpr GUID MEDIASUBTYPE_CVD_SUBPICTURE = MakeGuid("{7B57308F-5154-4C36-B903-52FE76E184FC}");
inline constexpr GUID MEDIASUBTYPE_PS2_SUB = MakeGuid("{4F3D3D21-6D7C-4F73-AA05-E397B5EAE0AA}");
inline constexpr GUID MEDIASUBTYPE_HDMVSUB = MakeGuid("{04EBA53E-9330-436C-9133-553EC87031DC}");
inline constexpr GUID MEDIASUBTYPE_AVC1 = FourCCGuid(MakeFourCC('A', 'V', 'C', '1'));
inline constexpr GUID MEDIASUBTYPE_avc1 = FourCCGuid(MakeFourCC('a', 'v', 'c', '1'));
inline constexpr GUID MEDIASUBTYPE_WVC1 = FourCCGuid(MakeFourCC('W', 'V', 'C', '1'));
inline constexpr GUID MEDIASUBTYPE_wvc1 = FourCCGuid(MakeFourCC('w', 'v', 'c', '1'));
inline constexpr GUID MEDIASUBTYPE_AAC = FourCCGuid(0x000000FF);
inline constexpr GUID MEDIASUBTYPE_WAVE_DTS = FourCCGuid(0x00002001);
inline constexpr GUID MEDIASUBTYPE_WAVE_DOLBY_AC3 = FourCCGuid(0x00002000);
inline constexpr GUID MEDIATYPE_ScriptCommand = FourCCGuid(0x73636D64);
