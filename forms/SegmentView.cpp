#include "SegmentView.h"

#include "Shared.h"

#include <QIcon>
#include <QTreeWidget>

#include <algorithm>

using namespace mp3core;

TSegmentView::TSegmentView(QTreeWidget *widget, TSegmentList &list)
    : QObject(widget), widget_(widget), list_(list)
{
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // 70 pixels a column, the first a little wider for its check box.
    widget->setColumnWidth(0, 84);
    widget->setColumnWidth(1, 63);
    widget->setColumnWidth(2, 63);
    connect(widget, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) {
        const int row = widget_->indexOfTopLevelItem(item);
        if (!showing_ && row >= 0 && size_t(row) < list_.Count()) {
            list_.SetTicked(size_t(row), item->checkState(0) == Qt::Checked);
            emit Changed();
        }
    });
}

void TSegmentView::Show(std::optional<size_t> current)
{
    showing_ = true;
    widget_->clear();
    static const QIcon tagIcon(":/tag.svg");
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(list_.Count()));
    for (const TSegment &s : list_.Rows()) {
        auto *item = new QTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, s.Ticked ? Qt::Checked : Qt::Unchecked);
        item->setText(0, DisplayText(s.StartMs));
        item->setText(1, DisplayText(s.EndMs));
        item->setText(2, DisplayText(s.EndMs - s.StartMs));
        if (s.Tag) {
            // A part with texts of its own: a mark beside its start, read out with the row.
            item->setIcon(0, tagIcon);
            const QString title = FromTagText(s.Tag->Title);
            item->setData(0, Qt::AccessibleDescriptionRole,
                          title.isEmpty() ? Tr("有自己的标签") : Tr("有自己的标签：%1").arg(title));
            for (int column = 0; column < 3 && !title.isEmpty(); ++column) {
                item->setToolTip(column, title); // a track's title
            }
        }
        items.append(item);
    }
    widget_->addTopLevelItems(items); // in one batch: thousands of rows at once
    showing_ = false;
    // The columns as wide as the longest time of the file ("180:00.000" for three hours).
    const int64_t longest = list_.Count() > 0 ? list_.Rows().back().EndMs : 0;
    const int text = widget_->fontMetrics().horizontalAdvance(DisplayText(longest)) + 14;
    widget_->setColumnWidth(0, std::max(84, text + 22)); // and the check box
    widget_->setColumnWidth(1, std::max(63, text));
    widget_->setColumnWidth(2, std::max(63, text));
    if (current && *current < list_.Count()) {
        widget_->setCurrentItem(widget_->topLevelItem(int(*current)));
    }
    emit Changed();
}

std::optional<size_t> TSegmentView::Selected() const
{
    QTreeWidgetItem *item = widget_->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return std::nullopt;
    }
    const int row = widget_->indexOfTopLevelItem(item);
    if (row < 0 || size_t(row) >= list_.Count()) {
        return std::nullopt;
    }
    return size_t(row);
}
