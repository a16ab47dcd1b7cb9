#include "tags/Chapters.h"

#include <chapterframe.h>
#include <id3v2tag.h>
#include <tableofcontentsframe.h>

#include <algorithm>
#include <map>
#include <set>

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

} // namespace mp3core
