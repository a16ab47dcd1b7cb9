// Writes the seed corpus of the fuzz targets: small files made by the test fixtures and by lame,
// as the tests make them. Run by scripts/fuzz-seeds; the seeds are kept in the tree, beside
// every input that ever failed.
#include "Decode.h"
#include "Fixtures.h"
#include "tags/TextCodec.h"

#include <cstdio>
#include <string>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

void Put(const fs::path &folder, const std::string &name, const Bytes &bytes)
{
    fs::create_directories(folder);
    WriteFile(folder / name, bytes);
}

Bytes Frames(const THeaderSpec &shape, int count)
{
    Bytes b;
    AppendFrames(b, shape, count);
    return b;
}

Bytes Joined(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts) {
        Append(all, p);
    }
    return all;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeSeeds CORPUS-FOLDER\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const THeaderSpec cbr{};
    const THeaderSpec mpeg2{2, 3, 9, 0};
    const THeaderSpec mpeg25{3, 3, 1, 2};
    const THeaderSpec layer2{1, 2, 9, 0};
    Bytes vbr;
    AppendVbrFrames(vbr, 40);
    Bytes cutOff = Frame(cbr);
    cutOff.resize(200);
    const Bytes cover(600, 0xFF); // syncs in the picture
    const std::vector<std::pair<std::string, Bytes>> audio = {
        {"cbr", Frames(cbr, 30)},
        {"vbr", vbr},
        {"xing-vbr", Joined({XingFrame(cbr, 40), vbr})},
        {"info-cbr", Joined({XingFrame(cbr, 30, false), Frames(cbr, 30)})},
        {"mpeg2", Frames(mpeg2, 30)},
        {"mpeg25", Frames(mpeg25, 30)},
        {"layer2", Frames(layer2, 30)},
        {"tags", Joined({Id3v2TextTag({{"TIT2", "标题"}, {"TPE1", "A"}}, cover), Frames(cbr, 20),
                         ApeTag(64, true), Id3v1Tag("v1", 13)})},
        {"junk-after", Joined({Frames(cbr, 20), Bytes(3000, 0), cutOff})},
        {"junk-before", Joined({Id3v2Tag(100), Bytes(700, 0x55), Frames(cbr, 20)})},
        {"one-frame", Frames(cbr, 1)},
        // Encodes put end to end (44.1 kHz, 48 kHz, then mono), and junk between two frames.
        {"streams", Joined({Frames(cbr, 20), Frames(THeaderSpec{1, 3, 9, 1}, 20),
                            Frames(THeaderSpec{1, 3, 9, 0, false, 3}, 20)})},
        {"junk-between",
         Joined({XingFrame(cbr, 30, false), Frames(cbr, 15), Bytes(300, 0x37), Frames(cbr, 15)})},
    };
    for (const char *target : {"FrameFuzz", "JobFuzz", "TagFuzz"}) {
        for (const auto &[name, bytes] : audio) {
            Put(corpus / target, name + ".mp3", bytes);
        }
    }
    // Real files, as lame encodes them, a third of a second each.
    const TTempDir dir;
    const std::vector<std::tuple<std::string, int, int, std::string>> encoded = {
        {"lame-cbr", 44100, 2, "-b 128"},
        {"lame-vbr", 44100, 2, "-V 2"},
        {"lame-crc", 44100, 2, "-b 128 -p"},
        {"lame-mpeg2", 22050, 1, "-b 32"},
        {"lame-mpeg25", 8000, 1, "-b 8"},
        {"lame-48k", 48000, 2, "-V 4 -m j"},
        {"lame-tagged", 44100, 2, "-b 64 --tt Title --ta Artist --tl Album --ty 2024"},
    };
    for (const auto &[name, rate, channels, args] : encoded) {
        const Bytes bytes = ReadFile(EncodeWithLame(dir, name, 0.3, rate, channels, args));
        for (const char *target : {"FrameFuzz", "JobFuzz", "TagFuzz"}) {
            Put(corpus / target, name + ".mp3", bytes);
        }
    }
    for (const char *text : {"0:0.0", "1:2.3", "62:05.000", "35791:23.647", "-1:0.0", "abc",
                             "$7FFFFFFF", "0x10", "  12", "1:2", ":", "99999999999:0.0"}) {
        const std::string s = text;
        Put(corpus / "TimeTextFuzz", "t" + std::to_string(std::hash<std::string>{}(s) % 100000),
            Bytes(s.begin(), s.end()));
    }
    const char *sheets[] = {
        "REM GENRE Rock\nREM DATE 1999\nPERFORMER \"Band\"\nTITLE \"LP\"\nFILE \"album.wav\" WAVE\n"
        "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
        "    PERFORMER \"Guest\"\n    INDEX 00 03:10:00\n    INDEX 01 03:12:37\n",
        "\xEF\xBB\xBF"
        "file \"a.mp3\" mp3\r\ntrack 1 audio\r\ntitle Two Words\r\nindex 1 0:0:0\r\n",
        "FILE \"Side A.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"album.flac\" WAVE\n"
        "TRACK 02 AUDIO\nTITLE \"a \\\"q\\\" /:*?\"\nPREGAP 00:02:00\nINDEX 01 00:00:00\n",
    };
    for (const std::string s : sheets) {
        Put(corpus / "CueFuzz", "c" + std::to_string(std::hash<std::string>{}(s) % 100000),
            Bytes(s.begin(), s.end()));
        const std::string gb =
            Utf8ToGB18030(s + "TRACK 09 AUDIO\nTITLE \"红豆\"\nINDEX 01 99:00:00\n");
        Put(corpus / "CueFuzz", "g" + std::to_string(std::hash<std::string>{}(gb) % 100000),
            Bytes(gb.begin(), gb.end()));
    }
    return 0;
}
