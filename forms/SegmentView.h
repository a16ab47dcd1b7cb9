#pragma once
// The segment list as the Split page's list widget shows it: a row a segment, with its start,
// end, length and tick. A tick set in the widget is the list's.

#include "plan/SegmentList.h"

#include <QObject>

#include <optional>

class QTreeWidget;

class TSegmentView : public QObject
{
    Q_OBJECT

public:
    TSegmentView(QTreeWidget *widget, mp3core::TSegmentList &list);

    // The widget shows the list anew, with row current as the current one.
    void Show(std::optional<size_t> current);
    // The selected row, when one is selected.
    std::optional<size_t> Selected() const;

signals:
    void Changed(); // the rows shown anew, or a tick set in the widget

private:
    QTreeWidget *widget_;
    mp3core::TSegmentList &list_;
    bool showing_ = false; // the widget is being filled: its changes are not the user's
};
