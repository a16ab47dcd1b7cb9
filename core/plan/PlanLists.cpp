#include "plan/PlanLists.h"

#include "io/Errors.h"
#include "io/OutputFile.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <locale>
#include <sstream>

namespace mp3core {

namespace {

// A number of seconds as Audacity writes it ("12.500000"), in ms; none when it is not one.
std::optional<int64_t> Seconds(const std::string &text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double seconds = 0;
    if (!(in >> seconds) || !(in >> std::ws).eof() || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 1e9) {
        return std::nullopt;
    }
    return int64_t(std::llround(seconds * 1000));
}

std::string SecondsText(int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld000", (long long)(ms / 1000),
                  (long long)(ms % 1000));
    return text;
}

// A text in a CUE sheet's quotes: its quotes become apostrophes, line breaks spaces.
std::string Quoted(std::string text)
{
    for (char &c : text) {
        c = c == '"' ? '\'' : (c == '\r' || c == '\n') ? ' ' : c;
    }
    return "\"" + text + "\"";
}

} // namespace

TLabelsRead ParseLabels(const std::string &text)
{
    TLabelsRead read;
    std::vector<TCueTrack> tracks;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '\\') {
            continue;
        }
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        const std::optional<int64_t> start = Seconds(line.substr(0, tab1));
        const std::optional<int64_t> end =
            tab1 == std::string::npos ? start : Seconds(line.substr(tab1 + 1, tab2 - tab1 - 1));
        if (!start || !end || *end < *start) {
            read.Line = number;
            read.Reason = "not a label (start, end and text, tab-separated, in seconds)";
            return read;
        }
        TCueTrack t;
        t.Number = int(tracks.size()) + 1;
        t.StartMs = *start;
        t.Tag.Title = tab2 == std::string::npos ? std::string() : line.substr(tab2 + 1);
        tracks.push_back(std::move(t));
    }
    if (tracks.empty()) {
        read.Reason = "it holds no label";
        return read;
    }
    read.Tracks = std::move(tracks);
    return read;
}

TLabelsRead ReadLabels(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        TLabelsRead read;
        read.Reason = "it cannot be read";
        return read;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return ParseLabels(bytes.str());
}

std::string LabelsText(const std::vector<TSegment> &rows)
{
    std::string text;
    for (const TSegment &r : rows) {
        if (r.Ticked) {
            text += SecondsText(r.StartMs) + "\t" + SecondsText(r.EndMs) + "\t" +
                    (r.Tag ? r.Tag->Title : std::string()) + "\n";
        }
    }
    return text;
}

std::string CueText(const std::vector<TSegment> &rows, const std::filesystem::path &audio,
                    const TPartTag &album)
{
    std::string text;
    if (!album.Artist.empty()) {
        text += "PERFORMER " + Quoted(album.Artist) + "\n";
    }
    if (!album.Album.empty()) {
        text += "TITLE " + Quoted(album.Album) + "\n";
    }
    text += "FILE " + Quoted(audio.filename().string()) + " MP3\n";
    int number = 0;
    for (const TSegment &r : rows) {
        if (!r.Ticked) {
            continue;
        }
        char track[64];
        const int64_t frames = (r.StartMs * 75 + 500) / 1000;
        std::snprintf(track, sizeof track, "  TRACK %02d AUDIO\n", ++number);
        text += track;
        if (r.Tag && !r.Tag->Title.empty()) {
            text += "    TITLE " + Quoted(r.Tag->Title) + "\n";
        }
        if (r.Tag && !r.Tag->Artist.empty()) {
            text += "    PERFORMER " + Quoted(r.Tag->Artist) + "\n";
        }
        char index[64];
        std::snprintf(index, sizeof index, "    INDEX 01 %02lld:%02lld:%02lld\n",
                      (long long)(frames / (75 * 60)), (long long)(frames / 75 % 60),
                      (long long)(frames % 75));
        text += index;
    }
    return text;
}

void WriteListFile(const std::filesystem::path &file, const std::string &text)
{
    TOutputFile out(OutputTarget(file));
    out.Stream().WriteBuffer(text.data(), int64_t(text.size()));
    out.Commit();
}

} // namespace mp3core
