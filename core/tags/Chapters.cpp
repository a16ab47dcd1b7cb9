#include "tags/Chapters.h"

#include <chapterframe.h>
#include <id3v2tag.h>
#include <tableofcontentsframe.h>

#include <algorithm>
#include <map>
#include <set>
#include <textidentificationframe.h>

namespace mp3core {

namespace {

using TagLib::ID3v2::ChapterFrame;
using TagLib::ID3v2::TableOfContentsFrame;

std::string IdOf(const TagLib::ByteVector &id)
{
    return std::string(id.data(), id.size());
}

std::string TitleOf(const TagLib::ID3v2::FrameList &embedded)
{
    return embedded.isEmpty() ? std::string() : embedded.front()->toString().to8Bit(true);
}

struct TElements
{
    std::map<std::string, TChapter> Chapters;
    std::map<std::string, const TableOfContentsFrame *> Tables;
};

// The chapters a table lists, in its order, tables within it in their place (each table once:
// a table that lists itself again is not followed round).
void Flatten(const TableOfContentsFrame &table, const TElements &all, std::set<std::string> &seen,
             std::vector<TChapter> &out)
{
    if (!seen.insert("CTOC:" + IdOf(table.elementID())).second) {
        return;
    }
    for (const TagLib::ByteVector &child : table.childElements()) {
        const std::string id = IdOf(child);
        if (const auto c = all.Chapters.find(id); c != all.Chapters.end()) {
            if (seen.insert("CHAP:" + id).second) {
                out.push_back(c->second);
            }
        } else if (const auto t = all.Tables.find(id); t != all.Tables.end()) {
            Flatten(*t->second, all, seen, out);
        }
    }
}

} // namespace

std::vector<TChapter> ChaptersOf(const TagLib::ID3v2::Tag &tag)
{
    TElements all;
    std::vector<const TableOfContentsFrame *> top;
    for (TagLib::ID3v2::Frame *f : tag.frameList()) {
        if (const auto *c = dynamic_cast<const ChapterFrame *>(f)) {
            TChapter chapter;
            chapter.Id = IdOf(c->elementID());
            chapter.StartMs = c->startTime();
            chapter.EndMs = c->endTime();
            chapter.Title = TitleOf(c->embeddedFrameList("TIT2"));
            all.Chapters.emplace(chapter.Id, chapter);
        } else if (const auto *t = dynamic_cast<const TableOfContentsFrame *>(f)) {
            all.Tables.emplace(IdOf(t->elementID()), t);
            if (t->isTopLevel()) {
                top.push_back(t);
            }
        }
    }
    std::vector<TChapter> out;
    std::set<std::string> seen;
    for (const TableOfContentsFrame *t : top) {
        Flatten(*t, all, seen, out);
    }
    std::vector<TChapter> rest;
    for (const auto &[id, chapter] : all.Chapters) {
        if (!seen.count("CHAP:" + id)) {
            rest.push_back(chapter);
        }
    }
    std::stable_sort(rest.begin(), rest.end(),
                     [](const TChapter &a, const TChapter &b) { return a.StartMs < b.StartMs; });
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

std::vector<TChapter> ChaptersWithin(const std::vector<TChapter> &chapters, int64_t startMs,
                                     int64_t endMs)
{
    std::vector<TChapter> within;
    for (const TChapter &c : chapters) {
        const int64_t from = std::max(c.StartMs, startMs);
        const int64_t to = std::min(c.EndMs, endMs);
        if (to > from) {
            TChapter moved = c;
            moved.StartMs = from - startMs;
            moved.EndMs = to - startMs;
            within.push_back(std::move(moved));
        }
    }
    return within;
}

std::vector<std::vector<uint8_t>> ChapterFrames(const std::vector<TChapter> &chapters)
{
    const auto bytes = [](const TagLib::ByteVector &v) {
        return std::vector<uint8_t>(v.begin(), v.end());
    };
    std::vector<std::vector<uint8_t>> frames;
    if (chapters.empty()) {
        return frames;
    }
    TagLib::ByteVectorList children;
    for (const TChapter &c : chapters) {
        children.append(TagLib::ByteVector(c.Id.data(), unsigned(c.Id.size())));
    }
    std::string tocId = "toc"; // an element ID no chapter has
    while (std::any_of(chapters.begin(), chapters.end(),
                       [&](const TChapter &c) { return c.Id == tocId; })) {
        tocId += "_";
    }
    TableOfContentsFrame table(TagLib::ByteVector(tocId.data(), unsigned(tocId.size())), children);
    table.setIsTopLevel(true);
    table.setIsOrdered(true);
    frames.push_back(bytes(table.render()));
    for (const TChapter &c : chapters) {
        TagLib::ID3v2::FrameList titles;
        if (!c.Title.empty()) {
            auto *title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF8);
            title->setText(TagLib::String(c.Title, TagLib::String::UTF8));
            titles.append(title); // the chapter frame owns it
        }
        const ChapterFrame chapter(TagLib::ByteVector(c.Id.data(), unsigned(c.Id.size())),
                                   unsigned(c.StartMs), unsigned(c.EndMs), 0xFFFFFFFF, 0xFFFFFFFF,
                                   titles);
        frames.push_back(bytes(chapter.render()));
    }
    return frames;
}

} // namespace mp3core
