// The Split page's list in and out as other programs' lists: Audacity's label files and CUE
// sheets (the list menu's "导入标签...", "导出CUE..." and "导出标签...").
#include "SplitPage.h"

#include "Dialogs.h"
#include "Messages.h"
#include "Paths.h"
#include "SegmentView.h"
#include "Shared.h"
#include "io/Errors.h"
#include "plan/PlanLists.h"
#include "ui_SplitPage.h"

#include <QDir>

using namespace mp3core;

namespace {

const char *const LabelFilter = QT_TRANSLATE_NOOP("mp3cutter", "Audacity 标签 (*.txt)");
const QString CueFilter = "CUE (*.cue)";

} // namespace

void TSplitPage::N7Click()
{
    if (list_.Count() == 0 || running_) {
        return; // no file open, or a job runs
    }
    labelsName_ = TDialogs::Current().OpenFileName(this, Tr(LabelFilter), ui->Edit8->text());
    if (labelsName_.isEmpty()) {
        return;
    }
    TSplitRequest request;
    request.Method = TSplitRequest::TMethod::Labels;
    request.Labels = ToPath(labelsName_);
    ImportRows(request);
}

void TSplitPage::ExportList(bool cue)
{
    if (list_.Count() == 0) {
        return;
    }
    const QString proposal = FromPath(InputPath().replace_extension(cue ? ".cue" : ".txt"));
    const QString name =
        TDialogs::Current().SaveFileName(this, proposal, cue ? CueFilter : Tr(LabelFilter));
    if (name.isEmpty()) {
        return;
    }
    try {
        WriteListFile(ToPath(name), cue ? CueText(list_.Rows(), InputPath(), PageTag())
                                        : LabelsText(list_.Rows()));
    } catch (const EStreamError &e) {
        TDialogs::Current().Message(
            this, Tr("无法写入 %1：%2")
                      .arg(QDir::toNativeSeparators(name), QString::fromLocal8Bit(e.what())));
    }
}

void TSplitPage::N8Click()
{
    ExportList(true);
}

void TSplitPage::N9Click()
{
    ExportList(false);
}
