// The properties window's texts.

#include <QtTest>

#include "app/properties_dlg.h"

namespace {

EngineStream Video(int width, int height, int bitRate, REFERENCE_TIME frame)
{
    EngineStream s;
    s.kind = EngineStream::kVideo;
    s.width = width;
    s.height = height;
    s.bitRate = bitRate;
    s.timePerFrame = frame;
    return s;
}

EngineStream Audio(int bitRate, int rate, int channels)
{
    EngineStream s;
    s.kind = EngineStream::kAudio;
    s.bitRate = bitRate;
    s.sampleRate = rate;
    s.channels = channels;
    return s;
}

} // namespace

class PropertiesTest : public QObject {
    Q_OBJECT
private slots:
    void TextsOfTheFirstVideoAndAudioStreams()
    {
        const std::vector<EngineStream> streams = {Video(720, 480, 9800000, 333667), Audio(192000, 48000, 2),
                                                   Audio(448000, 48000, 6), Video(352, 240, 1, 400000)};
        CProperties window(streams);
        QCOMPARE(window.Value("Resolution"), QStringLiteral("720x480"));
        QCOMPARE(window.Value("Video Bitrate"), QStringLiteral("9800.00 kbps"));
        QCOMPARE(window.Value("Frame Rate"), QStringLiteral("29.970 fps"));
        QCOMPARE(window.Value("Audio Bitrate"), QStringLiteral("192.000 kbps"));
        QCOMPARE(window.Value("Audio Sample Rate"), QStringLiteral("48000 Hz"));
        QCOMPARE(window.Value("Channels"), QStringLiteral("Stereo"));
    }

    void ChannelNamesAndMissingStreams()
    {
        QCOMPARE(CProperties::Describe({Audio(64000, 44100, 1)}).channels, QStringLiteral("Mono"));
        QCOMPARE(CProperties::Describe({Audio(64000, 44100, 6)}).channels, QStringLiteral("5.1"));
        QCOMPARE(CProperties::Describe({Audio(64000, 44100, 4)}).channels, QStringLiteral("4"));
        const auto videoOnly = CProperties::Describe({Video(720, 576, 6000000, 400000)});
        QCOMPARE(videoOnly.frameRate, QStringLiteral("25.000 fps"));
        QVERIFY(videoOnly.audioBitRate.isEmpty() && videoOnly.sampleRate.isEmpty() && videoOnly.channels.isEmpty());
        const auto nothing = CProperties::Describe({});
        QVERIFY(nothing.resolution.isEmpty() && nothing.frameRate.isEmpty());
    }

    void EachTrackAsACopyKeepsIt()
    {
        // A title with AC-3 5.1 in English, LPCM in Japanese, DTS in an unknown language, and
        // Spanish subtitles beside forced German ones.
        TitleInfo title{};
        const auto language = [](const char* code) { return static_cast<std::int32_t>(code[0] << 8 | code[1]); };
        title.audioCount = 3;
        title.audioStreamId[0] = 0xBD80;
        title.audioLanguage[0] = language("en");
        title.audioFormat[0] = kAudioFormatAc3;
        title.audioChannelsMinusOne[0] = 5;
        title.audioStreamId[1] = 0xBDA0;
        title.audioLanguage[1] = language("ja");
        title.audioFormat[1] = kAudioFormatLpcm;
        title.audioChannelsMinusOne[1] = 1;
        title.audioStreamId[2] = 0xBD88;
        title.audioFormat[2] = kAudioFormatDts;
        title.audioChannelsMinusOne[2] = 5;
        title.subpictureCount = 2;
        title.subpictureStreamId[0] = 0xBD20;
        title.subpictureLanguage[0] = language("es");
        title.subpictureStreamId[1] = 0xBD21;
        title.subpictureLanguage[1] = language("de");
        const QStringList kept = CProperties::KeptTracks(title, {false, true});
        QCOMPARE(kept, (QStringList{"eng: English AC-3 5.1", "jpn: Japanese PCM 2.0", "und: DTS 5.1", "spa: Spanish",
                                    "deu: German (forced)"}));
        CProperties window({}, kept);
        QCOMPARE(window.Value("Tracks as kept"), kept.join(QStringLiteral(", ")));
    }
};

QTEST_MAIN(PropertiesTest)
#include "properties_test.moc"
