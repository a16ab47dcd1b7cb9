#include "CueSheet.h"

#include "MP3TAG.h"
#include "TextCodec.h"
#include "TimeText.h"

#include <libcue.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr size_t LargestSheet = 1 << 20; // a sheet of a thousand tracks is some 100 KB

struct TFault
{
    int Line;
    std::string Reason;
};

std::string Upper(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
    }
    return text;
}

// The words of a line: runs of anything but blanks, or quoted texts (in which \" stands for a
// quote).
std::vector<std::string> Words(const std::string &line, int number)
{
    std::vector<std::string> words;
    size_t i = 0;
    const auto blank = [&](size_t k) { return line[k] == ' ' || line[k] == '\t'; };
    while (true) {
        while (i < line.size() && blank(i)) {
            ++i;
        }
        if (i == line.size()) {
            return words;
        }
        std::string word;
        if (line[i] == '"') {
            for (++i;; ++i) {
                if (i == line.size()) {
                    throw TFault{number, "a quote is not closed"};
                }
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"';
                    ++i;
                } else if (line[i] == '"') {
                    break;
                } else {
                    word += line[i];
                }
            }
            ++i;
            if (i < line.size() && !blank(i)) {
                throw TFault{number, "text follows a closing quote"};
            }
        } else {
            while (i < line.size() && !blank(i)) {
                word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
}

// A number of one or two digits up to most.
bool SmallNumber(const std::string &text, int most, int &value)
{
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), ::isdigit)) {
        return false;
    }
    value = std::stoi(text);
    return value <= most;
}

// mm:ss:ff in frames of 1/75 s.
long CueTime(const std::string &text, int line)
{
    int minutes = 0, seconds = 0, frames = 0;
    char tail = 0;
    if (text.size() > 12 || std::count(text.begin(), text.end(), ':') != 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return ::isdigit(c) || c == ':'; }) ||
        std::sscanf(text.c_str(), "%d:%d:%d%c", &minutes, &seconds, &frames, &tail) != 3 ||
        seconds > 59 || frames > 74) {
        throw TFault{line, "bad time '" + text + "' (use minutes:seconds:frames, 75 frames a second)"};
    }
    return (long(minutes) * 60 + seconds) * 75 + frames;
}

std::string Quote(const std::string &text)
{
    std::string q = "\"";
    for (const char c : text) {
        q += c == '"' ? std::string("\\\"") : std::string(1, c);
    }
    return q + "\"";
}

// The rest of a line as one text: a quoted word, or the plain words with single spaces.
std::string Rest(const std::vector<std::string> &words, size_t from)
{
    std::string text;
    for (size_t i = from; i < words.size(); ++i) {
        text += (i > from ? " " : "") + words[i];
    }
    return text;
}

// Checks the sheet line by line and writes it again in the form libcue reads: upper-case
// commands, quoted texts, only the commands whose values are used. Raises for the first fault.
std::string Canonical(const std::string &text)
{
    static const char *Ignored[] = {"CATALOG",  "CDTEXTFILE", "FLAGS",     "ISRC",    "SONGWRITER",
                                    "COMPOSER", "ARRANGER",   "MESSAGE",   "DISC_ID", "GENRE",
                                    "UPC_EAN",  "TOC_INFO1",  "TOC_INFO2", "SIZE_INFO"};
    std::ostringstream out;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool inFile = false;
    int trackLine = 0;            // the line of the track in hand; 0: none yet
    std::string trackName;        // its number as written
    bool hasStart = false;        // it has its INDEX 01
    long lastStart = -1;          // the INDEX 01 of the track before it in the same file
    int tracks = 0;
    const auto endTrack = [&] {
        if (trackLine != 0 && !hasStart) {
            throw TFault{trackLine, "track " + trackName + " has no INDEX 01"};
        }
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find('\0') != std::string::npos) {
            throw TFault{number, "it holds a NUL byte: this is not a text file"};
        }
        const std::vector<std::string> w = Words(line, number);
        if (w.empty()) {
            continue;
        }
        const std::string command = Upper(w[0]);
        const auto needs = [&](size_t least, size_t most) {
            if (w.size() - 1 < least || w.size() - 1 > most) {
                throw TFault{number, command + " takes " +
                                         (least == most ? std::to_string(least)
                                                        : std::to_string(least) + " to " +
                                                              std::to_string(most)) +
                                         " values"};
            }
        };
        if (command == "REM") {
            const std::string key = w.size() > 1 ? Upper(w[1]) : "";
            if ((key == "DATE" || key == "GENRE") && w.size() > 2) {
                out << "REM " << key << " " << Quote(Rest(w, 2)) << "\n";
            }
        } else if (command == "TITLE" || command == "PERFORMER") {
            out << command << " " << Quote(Rest(w, 1)) << "\n";
        } else if (command == "FILE") {
            needs(1, 2);
            endTrack();
            out << "FILE " << Quote(w[1]) << " WAVE\n";
            inFile = true;
            trackLine = 0;
            lastStart = -1;
        } else if (command == "TRACK") {
            needs(2, 2);
            int n = 0;
            if (!SmallNumber(w[1], 99, n) || n == 0) {
                throw TFault{number, "bad track number '" + w[1] + "' (1 to 99)"};
            }
            if (!inFile) {
                throw TFault{number, "TRACK comes before any FILE"};
            }
            endTrack();
            out << "TRACK " << n << " AUDIO\n";
            trackLine = number;
            trackName = w[1];
            ++tracks;
            hasStart = false;
        } else if (command == "INDEX") {
            needs(2, 2);
            int n = 0;
            if (!SmallNumber(w[1], 99, n)) {
                throw TFault{number, "bad index number '" + w[1] + "' (0 to 99)"};
            }
            const long at = CueTime(w[2], number);
            if (trackLine == 0) {
                throw TFault{number, "INDEX comes before any TRACK"};
            }
            if (n == 1) {
                if (hasStart) {
                    throw TFault{number, "track " + trackName + " has a second INDEX 01"};
                }
                if (at <= lastStart) {
                    throw TFault{number, "track " + trackName +
                                             " starts before the end of the track before it"};
                }
                hasStart = true;
                lastStart = at;
            }
            out << "INDEX " << n << " " << w[2] << "\n";
        } else if (command == "PREGAP" || command == "POSTGAP") {
            needs(1, 1);
            CueTime(w[1], number);
            if (trackLine == 0) {
                throw TFault{number, command + " comes before any TRACK"};
            }
        } else if (std::none_of(std::begin(Ignored), std::end(Ignored),
                                [&](const char *c) { return command == c; })) {
            throw TFault{number, "unknown command '" + w[0] + "'"};
        }
    }
    endTrack();
    if (tracks == 0) {
        throw TFault{0, "it holds no TRACK"};
    }
    return out.str();
}

std::string Unquoted(const char *text)
{
    std::string s = text != nullptr ? text : "";
    for (size_t at = s.find("\\\""); at != std::string::npos; at = s.find("\\\"", at + 1)) {
        s.erase(at, 1);
    }
    return s;
}

bool SameStem(const fs::path &a, const fs::path &b)
{
    return Upper(a.stem().string()) == Upper(b.stem().string());
}

// libcue keeps its parser's state in globals.
std::mutex LibcueLock;

TCueSheet Tracks(const std::string &canonical, const fs::path &audio)
{
    const std::lock_guard<std::mutex> lock(LibcueLock);
    std::unique_ptr<Cd, void (*)(Cd *)> cd(cue_parse_string(canonical.c_str()), cd_delete);
    if (cd == nullptr || cd_get_ntrack(cd.get()) == 0) {
        throw TFault{0, cd == nullptr ? "libcue cannot read it" : "it holds no TRACK"};
    }
    std::vector<std::string> files;
    for (int i = 1; i <= cd_get_ntrack(cd.get()); ++i) {
        const std::string file = Unquoted(track_get_filename(cd_get_track(cd.get(), i)));
        if (std::find(files.begin(), files.end(), file) == files.end()) {
            files.push_back(file);
        }
    }
    TCueSheet sheet;
    if (files.size() == 1) {
        sheet.File = files[0];
        if (!SameStem(fs::path(sheet.File).filename(), audio.filename())) {
            sheet.Note = "the CUE sheet is for '" + sheet.File + "'; its times are used for '" +
                         audio.filename().string() + "'";
        }
    } else {
        const auto named = std::find_if(files.begin(), files.end(), [&](const std::string &f) {
            return SameStem(fs::path(f).filename(), audio.filename());
        });
        if (named == files.end()) {
            std::string list;
            for (const std::string &f : files) {
                list += (list.empty() ? "'" : ", '") + f + "'";
            }
            throw TFault{0, "it names several files (" + list + ") and none of them is '" +
                                audio.filename().string() + "'"};
        }
        sheet.File = *named;
    }

    const auto text = [](Cdtext *cdtext, Pti pti) {
        return Utf8ToGB18030(Unquoted(cdtext != nullptr ? cdtext_get(pti, cdtext) : nullptr));
    };
    const auto rem = [](Rem *rem, RemType type) {
        return Utf8ToGB18030(Unquoted(rem != nullptr ? rem_get(type, rem) : nullptr));
    };
    Cdtext *album = cd_get_cdtext(cd.get());
    TPartTag albumTag;
    albumTag.Album = text(album, PTI_TITLE);
    albumTag.AlbumArtist = text(album, PTI_PERFORMER);
    albumTag.Year = rem(cd_get_rem(cd.get()), REM_DATE);
    const std::string genre = Unquoted(album != nullptr ? cdtext_get(PTI_GENRE, album) : nullptr);
    int32_t genreNumber = 0;
    if (const std::optional<uint8_t> g = GenreByName(genre)) {
        albumTag.GenreID = *g;
    } else if (TryStrToInt(genre, genreNumber) && genreNumber >= 0 && genreNumber < 255) {
        albumTag.GenreID = uint8_t(genreNumber);
    }
    for (int i = 1; i <= cd_get_ntrack(cd.get()); ++i) {
        Track *track = cd_get_track(cd.get(), i);
        if (Unquoted(track_get_filename(track)) != sheet.File) {
            continue;
        }
        TCueTrack t;
        t.Number = i;
        t.StartMs = (track_get_index(track, 1) * 40 + 1) / 3; // never halfway between two ms
        t.Tag = albumTag;
        t.Tag.Title = text(track_get_cdtext(track), PTI_TITLE);
        t.Tag.Artist = text(track_get_cdtext(track), PTI_PERFORMER);
        if (t.Tag.Artist.empty()) {
            t.Tag.Artist = albumTag.AlbumArtist;
        }
        if (const std::string date = rem(track_get_rem(track), REM_DATE); !date.empty()) {
            t.Tag.Year = date;
        }
        sheet.Tracks.push_back(std::move(t));
    }
    return sheet;
}

} // namespace

TCueRead ParseCueSheet(const std::string &bytes, const fs::path &audio)
{
    TCueRead read;
    try {
        if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                                  bytes.compare(0, 2, "\xFE\xFF") == 0)) {
            throw TFault{0, "it is in UTF-16; save it as UTF-8"};
        }
        std::string text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
        if (!IsUtf8(text)) {
            text = GB18030ToUtf8(text);
        }
        read.Sheet = Tracks(Canonical(text), audio);
    } catch (const TFault &f) {
        read.Line = f.Line;
        read.Reason = f.Reason;
    }
    return read;
}

TCueRead ReadCueSheet(const fs::path &cue, const fs::path &audio)
{
    std::error_code ec;
    const fs::file_status status = fs::status(cue, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return {std::nullopt, 0, "it is not a regular file"}; // a FIFO would block
    }
    std::ifstream in(cue, std::ios::binary);
    if (!in) {
        return {std::nullopt, 0, std::strerror(errno)};
    }
    std::string bytes(LargestSheet + 1, '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    if (in.bad() || (in.fail() && !in.eof())) {
        return {std::nullopt, 0, std::strerror(errno)};
    }
    bytes.resize(size_t(in.gcount()));
    if (bytes.size() > LargestSheet) {
        return {std::nullopt, 0, "it is too large for a CUE sheet (over 1 MB)"};
    }
    return ParseCueSheet(bytes, audio);
}
