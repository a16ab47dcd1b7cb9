#include "plan/CueSheet.h"

#include "plan/TimeText.h"
#include "tags/MP3TAG.h"
#include "tags/TextCodec.h"

#include <libcue.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace mp3core {

namespace fs = std::filesystem;

namespace {

constexpr size_t LargestSheet = 1 << 20; // a sheet of a thousand tracks is some 100 KB

struct TFault
{
    int Line;
    std::string Reason;
};

bool Digit(char c)
{
    return c >= '0' && c <= '9';
}

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
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), Digit)) {
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
        !std::all_of(text.begin(), text.end(), [](char c) { return Digit(c) || c == ':'; }) ||
        std::sscanf(text.c_str(), "%d:%d:%d%c", &minutes, &seconds, &frames, &tail) != 3 ||
        seconds > 59 || frames > 74) {
        throw TFault{line,
                     "bad time '" + text + "' (use minutes:seconds:frames, 75 frames a second)"};
    }
    return (long(minutes) * 60 + seconds) * 75 + frames;
}

// A text as libcue reads it: quoted, with its quotes and backslashes, which libcue's strings
// cannot hold whole, as bytes that UTF-8 never has; Unquoted turns them back.
constexpr char QuoteByte = '\xFE', BackslashByte = '\xFF';

std::string Quote(std::string text)
{
    std::replace(text.begin(), text.end(), '"', QuoteByte);
    std::replace(text.begin(), text.end(), '\\', BackslashByte);
    return "\"" + text + "\"";
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

// A sheet as checked: the album's lines and each track's, in the form libcue reads (upper-case
// commands, quoted texts, only the commands whose values are used).
struct TCheckedTrack
{
    int Number = 0;
    std::string File;  // the file its INDEX 01 lies in
    std::string Lines; // its texts and its INDEX 01
};

struct TChecked
{
    std::string Album;
    std::vector<TCheckedTrack> Tracks;
};

// Checks a sheet line by line, raising for the first fault: the album's texts (those before the
// first track), each track's, the file each track's INDEX 01 lies in.
class TChecker
{
public:
    void Line(std::string line, int number);
    TChecked Finish();

private:
    void Needs(const std::vector<std::string> &w, size_t least, size_t most) const;
    void Track(const std::vector<std::string> &w);
    void Index(const std::vector<std::string> &w);
    void EndTrack() const;
    std::string &Lines() { return trackLine_ != 0 ? checked_.Tracks.back().Lines : checked_.Album; }

    TChecked checked_;
    int number_ = 0;                        // the line in hand
    std::string file_;                      // the FILE in force; empty: none yet
    std::map<std::string, long> lastStart_; // the latest INDEX 01 in each file
    int trackLine_ = 0;                     // the line of the track in hand; 0: none yet
    std::string trackName_;                 // its number as written
    bool hasStart_ = false;                 // it has its INDEX 01
};

void TChecker::Line(std::string line, int number)
{
    static const char *Ignored[] = {"CATALOG",  "CDTEXTFILE", "FLAGS",     "ISRC",     "SONGWRITER",
                                    "COMPOSER", "ARRANGER",   "MESSAGE",   "DISC_ID",  "GENRE",
                                    "UPC_EAN",  "TOC_INFO1",  "TOC_INFO2", "SIZE_INFO"};
    number_ = number;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.find('\0') != std::string::npos) {
        throw TFault{number, "it holds a NUL byte: this is not a text file"};
    }
    const std::vector<std::string> w = Words(line, number);
    if (w.empty()) {
        return;
    }
    const std::string command = Upper(w[0]);
    if (command == "REM") {
        const std::string key = w.size() > 1 ? Upper(w[1]) : "";
        if ((key == "DATE" || key == "GENRE") && w.size() > 2) {
            Lines() += "REM " + key + " " + Quote(Rest(w, 2)) + "\n";
        }
    } else if (command == "TITLE" || command == "PERFORMER") {
        Lines() += command + " " + Quote(Rest(w, 1)) + "\n";
    } else if (command == "FILE") {
        Needs(w, 1, 2);
        file_ = w[1]; // it may come between a track's INDEX 00 and its INDEX 01
    } else if (command == "TRACK") {
        Track(w);
    } else if (command == "INDEX") {
        Index(w);
    } else if (command == "PREGAP" || command == "POSTGAP") {
        Needs(w, 1, 1);
        CueTime(w[1], number);
        if (trackLine_ == 0) {
            throw TFault{number, command + " comes before any TRACK"};
        }
    } else if (std::none_of(std::begin(Ignored), std::end(Ignored),
                            [&](const char *c) { return command == c; })) {
        throw TFault{number, "unknown command '" + w[0] + "'"};
    }
}

void TChecker::Needs(const std::vector<std::string> &w, size_t least, size_t most) const
{
    if (w.size() - 1 < least || w.size() - 1 > most) {
        throw TFault{number_,
                     Upper(w[0]) + " takes " +
                         (least == most ? std::to_string(least)
                                        : std::to_string(least) + " to " + std::to_string(most)) +
                         " values"};
    }
}

void TChecker::Track(const std::vector<std::string> &w)
{
    Needs(w, 2, 2);
    int n = 0;
    if (!SmallNumber(w[1], 99, n) || n == 0) {
        throw TFault{number_, "bad track number '" + w[1] + "' (1 to 99)"};
    }
    if (file_.empty()) {
        throw TFault{number_, "TRACK comes before any FILE"};
    }
    EndTrack();
    if (checked_.Tracks.size() == 99) {
        throw TFault{number_, "a CUE sheet holds at most 99 tracks"};
    }
    checked_.Tracks.push_back({n, "", ""});
    trackLine_ = number_;
    trackName_ = w[1];
    hasStart_ = false;
}

void TChecker::Index(const std::vector<std::string> &w)
{
    Needs(w, 2, 2);
    int n = 0;
    if (!SmallNumber(w[1], 99, n)) {
        throw TFault{number_, "bad index number '" + w[1] + "' (0 to 99)"};
    }
    const long at = CueTime(w[2], number_);
    if (trackLine_ == 0) {
        throw TFault{number_, "INDEX comes before any TRACK"};
    }
    if (n != 1) {
        return;
    }
    if (hasStart_) {
        throw TFault{number_, "track " + trackName_ + " has a second INDEX 01"};
    }
    const auto last = lastStart_.try_emplace(file_, -1).first;
    if (at <= last->second) {
        throw TFault{number_,
                     "track " + trackName_ + " starts before the end of the track before it"};
    }
    last->second = at;
    hasStart_ = true;
    checked_.Tracks.back().File = file_;
    checked_.Tracks.back().Lines += "INDEX 01 " + w[2] + "\n";
}

void TChecker::EndTrack() const
{
    if (trackLine_ != 0 && !hasStart_) {
        throw TFault{trackLine_, "track " + trackName_ + " has no INDEX 01"};
    }
}

TChecked TChecker::Finish()
{
    EndTrack();
    if (checked_.Tracks.empty()) {
        throw TFault{0, "it holds no TRACK"};
    }
    return checked_;
}

// Checks the sheet line by line; raises for the first fault.
TChecked Check(const std::string &text)
{
    TChecker checker;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        checker.Line(line, number);
    }
    return checker.Finish();
}

std::string Unquoted(const char *text)
{
    std::string s = text != nullptr ? text : "";
    std::replace(s.begin(), s.end(), QuoteByte, '"');
    std::replace(s.begin(), s.end(), BackslashByte, '\\');
    return s;
}

bool SameStem(const fs::path &a, const fs::path &b)
{
    return Upper(a.stem().string()) == Upper(b.stem().string());
}

// The file whose tracks are used: the only one, or the one named as audio is.
std::string ChooseFile(const TChecked &checked, const fs::path &audio, std::string &note)
{
    std::vector<std::string> files;
    for (const TCheckedTrack &t : checked.Tracks) {
        if (std::find(files.begin(), files.end(), t.File) == files.end()) {
            files.push_back(t.File);
        }
    }
    const std::string name = audio.filename().string();
    if (files.size() == 1) {
        if (!SameStem(fs::path(files[0]).filename(), name)) {
            note = "the CUE sheet is for '" + files[0] + "'; its times are used for '" + name + "'";
        }
        return files[0];
    }
    for (const std::string &f : files) {
        if (SameStem(fs::path(f).filename(), name)) {
            return f;
        }
    }
    std::string list;
    for (const std::string &f : files) {
        list += (list.empty() ? "'" : ", '") + f + "'";
    }
    throw TFault{0, "it names several files (" + list + ") and none of them is '" + name + "'"};
}

// libcue keeps its parser's state in globals.
std::mutex LibcueLock;

// The tracks of one file, read by libcue from a sheet that holds only them.
TCueSheet Read(const TChecked &checked, const fs::path &audio)
{
    TCueSheet sheet;
    sheet.File = ChooseFile(checked, audio, sheet.Note);
    std::string canonical = checked.Album + "FILE " + Quote(sheet.File) + " WAVE\n";
    std::vector<int> numbers;
    for (const TCheckedTrack &t : checked.Tracks) {
        if (t.File == sheet.File) {
            numbers.push_back(t.Number);
            canonical += "TRACK " + std::to_string(numbers.size()) + " AUDIO\n" + t.Lines;
        }
    }
    const std::lock_guard<std::mutex> lock(LibcueLock);
    std::unique_ptr<Cd, void (*)(Cd *)> cd(cue_parse_string(canonical.c_str()), cd_delete);
    if (cd == nullptr || cd_get_ntrack(cd.get()) != int(numbers.size())) {
        throw TFault{0, "libcue cannot read it"};
    }
    const auto text = [](Cdtext *cdtext, Pti pti) {
        return Unquoted(cdtext != nullptr ? cdtext_get(pti, cdtext) : nullptr);
    };
    const auto rem = [](Rem *rem, RemType type) {
        return Unquoted(rem != nullptr ? rem_get(type, rem) : nullptr);
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
    for (size_t i = 0; i < numbers.size(); ++i) {
        Track *track = cd_get_track(cd.get(), int(i + 1));
        TCueTrack t;
        t.Number = numbers[i];
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
        if (bytes.size() >= 2 &&
            (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
            throw TFault{0, "it is in UTF-16; save it as UTF-8"};
        }
        std::string text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
        if (!IsUtf8(text)) {
            text = GB18030ToUtf8(text);
        }
        read.Sheet = Read(Check(text), audio);
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

} // namespace mp3core
