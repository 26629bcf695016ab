#pragma once

#include <QByteArray>

#include "PageFields.h"
#include "PageRecord.h"

namespace velmora {

inline constexpr int kInterlinked = 0;
inline constexpr int kSingle = 1;

// Any type other than Interlinked behaves as Single.
constexpr bool isInterlinked(int projectType) { return projectType == kInterlinked; }

inline const QByteArray kDefaultRobotsChoice = "all";

struct NewPageContext {
    int projectType = kInterlinked;
    int index = 0;                       // the new page's index
    const PageRecord* previous = nullptr;  // the page before it, if any
    QByteArray startupDir;               // without a trailing separator
    QByteArray firstRobotsChoice = kDefaultRobotsChoice;
};

// The defaults of a new page.
void InitPage(PageRecord& page, const NewPageContext& context);

// The previous-page link InitPage gives a new page: in an Interlinked
// project, the heading and file name of the page before it; else empty.
void InitPreviousLink(PageRecord& page, const NewPageContext& context);

// Record into the fields (all but PageFolder) and the page counter.
void ShowPage(const PageRecord& page, PageFields& fields, int projectType, int index, int pageCount);

// Fields into the record (all but PageFolder), after giving a file name
// without ".htm" or ".html" that extension in the field itself.
void StorePage(PageRecord& page, PageFields& fields, int projectType);

// The file name as StorePage leaves it: ".htm" appended unless the name is
// empty or already ends in the exact extension ".htm" or ".html". A name
// that would not fit the field is cut before its extension, so the stored
// name always ends in ".htm" or ".html".
QByteArray withPageExtension(const QByteArray& fileName);

QByteArray pageCounter(int index, int pageCount);

}  // namespace velmora
