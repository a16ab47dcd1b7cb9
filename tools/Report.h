#pragma once
// --json: what a run of mp3cut tells a script, as one JSON document on standard output: each
// input's file, streams, tags and chapters, the outputs it planned or wrote, its notes and its
// outcome.

#include "format/Source.h"
#include "jobs/JobOutcome.h"
#include "tags/OutputTags.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A JSON value as it is built: null, a truth, a number, a text, an array or an object (its
// fields in the order they were set).
class TJson
{
public:
    TJson() = default;
    TJson(bool flag);
    TJson(int value) : TJson(int64_t(value)) {}
    TJson(int64_t value);
    TJson(double value);
    TJson(const char *text) : TJson(std::string(text)) {}
    TJson(std::string text);

    static TJson Array();
    static TJson Object();
    // The field of that name, made (null) when missing; a null value becomes an object.
    TJson &operator[](const std::string &name);
    // Appends an item; a null value becomes an array.
    TJson &Push(TJson item);
    bool IsNull() const { return Kind == TKind::Null; }
    std::string Text(int indent = 0) const;

private:
    enum class TKind
    {
        Null,
        Bool,
        Number,
        String,
        Array,
        Object
    };
    TKind Kind = TKind::Null;
    std::string Scalar; // a truth, a number or a text, as written
    std::vector<TJson> Items;
    std::vector<std::pair<std::string, TJson>> Fields;
    void Write(std::string &out, int indent, int depth) const;
};

// Whether this run was asked for --json.
bool JsonWanted();
void WantJson(const std::string &command);
// The report of the input this thread runs; a throwaway one outside a run.
TJson &Report();
// Runs one input with its own report and returns its status; the report gets the outcome.
TJson RunReported(const std::string &input, int &status, const std::function<int()> &run);
// Prints the document of the reports of every input, in order.
void PrintReports(std::vector<TJson> files, int status, const std::string &error = {});

// "MPEG-1", "MPEG-2" or "MPEG-2.5", as info and the report name a stream's version.
const char *VersionName(int version);

// The parts of a report.
TJson StreamsJson(mp3core::TSource &input);
TJson TagsJson(const mp3core::TSourceTags &tags);
TJson ChaptersJson(const std::vector<mp3core::TChapter> &chapters);
// The outputs of an outcome: each with its name, stretch, bytes and whether it is written.
TJson OutputsJson(const mp3core::TJobOutcome &o);
