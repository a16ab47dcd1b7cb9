#include "Report.h"

#include "Command.h"
#include "io/Errors.h"
#include "plan/TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

using namespace mp3core;

TJson::TJson(bool flag) : Kind(TKind::Bool), Scalar(flag ? "true" : "false") {}

TJson::TJson(int64_t value) : Kind(TKind::Number), Scalar(std::to_string(value)) {}

TJson::TJson(double value) : Kind(TKind::Number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", std::isfinite(value) ? value : 0.0);
    Scalar = text;
}

TJson::TJson(std::string text) : Kind(TKind::String), Scalar(std::move(text)) {}

TJson TJson::Array()
{
    TJson array;
    array.Kind = TKind::Array;
    return array;
}

TJson TJson::Object()
{
    TJson object;
    object.Kind = TKind::Object;
    return object;
}

TJson &TJson::operator[](const std::string &name)
{
    if (Kind == TKind::Null) {
        Kind = TKind::Object;
    }
    for (auto &[key, value] : Fields) {
        if (key == name) {
            return value;
        }
    }
    Fields.emplace_back(name, TJson());
    return Fields.back().second;
}

TJson &TJson::Push(TJson item)
{
    if (Kind == TKind::Null) {
        Kind = TKind::Array;
    }
    Items.push_back(std::move(item));
    return Items.back();
}

namespace {

// A text as a JSON string: quotes, backslashes and control characters escaped; UTF-8 as it is.
void WriteString(std::string &out, const std::string &text)
{
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

void TJson::Write(std::string &out, int indent, int depth) const
{
    const auto newLine = [&](int level) {
        if (indent > 0) {
            out += '\n';
            out.append(size_t(indent * level), ' ');
        }
    };
    switch (Kind) {
    case TKind::Null:
        out += "null";
        return;
    case TKind::String:
        WriteString(out, Scalar);
        return;
    case TKind::Bool:
    case TKind::Number:
        out += Scalar;
        return;
    case TKind::Array:
    case TKind::Object:
        break;
    }
    const bool isArray = Kind == TKind::Array;
    out += isArray ? '[' : '{';
    const size_t count = isArray ? Items.size() : Fields.size();
    for (size_t i = 0; i < count; ++i) {
        out += i > 0 ? "," : "";
        newLine(depth + 1);
        if (!isArray) {
            WriteString(out, Fields[i].first);
            out += indent > 0 ? ": " : ":";
        }
        (isArray ? Items[i] : Fields[i].second).Write(out, indent, depth + 1);
    }
    if (count > 0) {
        newLine(depth);
    }
    out += isArray ? ']' : '}';
}

std::string TJson::Text(int indent) const
{
    std::string out;
    Write(out, indent, 0);
    return out;
}

namespace {

std::string commandName;
bool json = false;
thread_local TJson *current = nullptr;

} // namespace

bool JsonWanted()
{
    return json;
}

void WantJson(const std::string &command)
{
    json = true;
    commandName = command;
}

TJson &Report()
{
    thread_local TJson throwaway;
    if (current == nullptr) {
        throwaway = TJson();
        return throwaway;
    }
    return *current;
}

TJson RunReported(const std::string &input, int &status, const std::function<int()> &run)
{
    TJson report = TJson::Object();
    report["file"] = input;
    current = &report;
    std::string message;
    try {
        status = run();
    } catch (const Failure &f) {
        message = f.message;
        status = f.status;
    } catch (const Exception &e) {
        message = e.what();
        status = WriteFailed;
    }
    current = nullptr;
    if (!message.empty()) {
        Err() << "mp3cut: " << input << ": " << message << "\n";
    }
    TJson &outcome = report["outcome"];
    outcome["status"] = status == Ok ? "done" : status == NotExact ? "not exact" : "failed";
    outcome["exit"] = status;
    if (!message.empty()) {
        outcome["message"] = message;
    }
    return report;
}

void PrintReports(std::vector<TJson> files, int status, const std::string &error)
{
    TJson document = TJson::Object();
    document["command"] = commandName;
    TJson &list = document["files"] = TJson::Array();
    for (TJson &file : files) {
        list.Push(std::move(file));
    }
    document["exit"] = status;
    if (!error.empty()) {
        document["error"] = error;
    }
    std::cout << document.Text(2) << "\n" << std::flush;
}

namespace {

TJson FormatJson(const TMPEGAFHdr &h)
{
    TJson s = TJson::Object();
    s["version"] = VersionName(h.MPEGVersion);
    s["layer"] = h.Layer;
    s["sample_rate"] = h.SampleRate;
    s["channels"] = h.ChannelMode == cmMono ? 1 : 2;
    s["bitrate_kbps"] = h.Bitrate;
    s["encoding"] = h.VBR ? "VBR" : "CBR";
    return s;
}

} // namespace

const char *VersionName(int version)
{
    static constexpr const char *Names[] = {"reserved", "MPEG-1", "MPEG-2", "MPEG-2.5"};
    return Names[version & 3];
}

TJson StreamsJson(TSource &input)
{
    TJson streams = TJson::Array();
    for (size_t k = 0; k < input.StreamCount(); ++k) {
        TJson s = FormatJson(input.StreamHdr(k));
        s["start_ms"] = input.StreamStartMs(k);
        s["length_ms"] = input.StreamHdr(k).PlayedMs();
        s["frames"] = int64_t(input.StreamHdr(k).FrameCount);
        streams.Push(std::move(s));
    }
    return streams;
}

TJson TagsJson(const TSourceTags &tags)
{
    TJson t = TJson::Object();
    t["id3v2"] = tags.Id3v2Texts.has_value() || tags.HasId3v2;
    t["id3v1"] = tags.Id3v1.has_value();
    if (const std::optional<TPartTag> texts = SourceTexts(tags)) {
        t["title"] = texts->Title;
        t["artist"] = texts->Artist;
        t["album"] = texts->Album;
        t["year"] = texts->Year;
        t["comment"] = texts->Comment;
        t["genre"] = int(texts->GenreID);
    }
    TJson &pictures = t["pictures"] = TJson::Array();
    for (const TPictureInfo &p : tags.Pictures) {
        TJson picture = TJson::Object();
        picture["type"] = p.Type;
        picture["mime_type"] = p.MimeType;
        picture["bytes"] = int64_t(p.Bytes);
        pictures.Push(std::move(picture));
    }
    return t;
}

TJson ChaptersJson(const std::vector<TChapter> &chapters)
{
    TJson list = TJson::Array();
    for (const TChapter &c : chapters) {
        TJson chapter = TJson::Object();
        chapter["id"] = c.Id;
        chapter["start_ms"] = c.StartMs;
        chapter["end_ms"] = c.EndMs;
        chapter["title"] = c.Title;
        list.Push(std::move(chapter));
    }
    return list;
}

TJson OutputsJson(const TJobOutcome &o)
{
    TJson list = TJson::Array();
    for (const TJobOutcome::TPlannedOutput &p : o.Plan) {
        TJson part = TJson::Object();
        part["file"] = p.File.string();
        part["start_ms"] = p.StartMs;
        part["end_ms"] = p.EndMs;
        part["length_ms"] = p.EndMs - p.StartMs;
        part["bytes"] = p.Bytes;
        part["written"] = std::find(o.Written.begin(), o.Written.end(), p.File) != o.Written.end();
        if (p.Level.GainSteps != 0) {
            part["gain_steps"] = p.Level.GainSteps;
            part["gain_db"] = p.Level.GainSteps * StepDb;
        }
        if (p.Level.Clamped > 0) {
            part["clamped_granules"] = p.Level.Clamped;
        }
        if (p.Level.Loudness) {
            part["loudness_lufs"] = p.Level.Loudness->Lufs;
            part["true_peak"] = p.Level.Loudness->Peak;
            part["replaygain_track_gain_db"] = ReplayGainReference - p.Level.Loudness->Lufs;
        }
        list.Push(std::move(part));
    }
    return list;
}
