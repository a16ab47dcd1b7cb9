#pragma once
// What the window tests share: dialogs answered by the test, windows built as at start-up,
// and MP3 files to open.

#include "Access.h"
#include "Application.h"
#include "Dialogs.h"
#include "Fixtures.h"
#include "Messages.h"
#include "Shared.h"
#include "SplitPage.h"
#include "Unit_addspecial.h"
#include "Unit_info.h"
#include "Unit_main.h"
#include "jobs/JobOutcome.h"
#include "plan/TimeText.h"
#include "tags/OutputTags.h"
#include "widgets/SpinEdit.h"
#include "widgets/TrackBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

// The tests speak the core's names as its own units do.
using namespace mp3core;

// The reports the windows must show, written out here once so that a changed text fails.
namespace Expected {
inline const QString Done = "文件分割完毕！";
inline const QString Busy = "目标文件被占用，文件分割失败！";
inline const QString NoFrame = "未找到MPEG音频帧，文件分割失败！";
inline const QString Empty = "剪切范围为空，请重新设置起点和终点！";
inline const QString Exists = "已经存在！";
inline const QString NoRows = "没有选中的片段！";
inline const QString BadStep = "分割步长无效！";
} // namespace Expected

// Answers the file dialogs from queues and records every message and opened document.
class TFakeDialogs : public TDialogs
{
public:
    std::deque<QString> OpenAnswers, SaveAnswers, FolderAnswers;
    QStringList Messages, Opened;
    QString LastSavePreset, LastFolderTitle, LastOpenFolder, LastFolderStart;

    TFakeDialogs() { Install(this); }
    ~TFakeDialogs() override { Install(nullptr); }

    QString OpenFileName(QWidget *, const QString &, const QString &folder) override
    {
        LastOpenFolder = folder;
        return Take(OpenAnswers);
    }
    QString SaveFileName(QWidget *, const QString &preset, const QString &) override
    {
        LastSavePreset = preset;
        return Take(SaveAnswers);
    }
    QString ExistingDirectory(QWidget *, const QString &title, const QString &folder) override
    {
        LastFolderTitle = title;
        LastFolderStart = folder;
        return Take(FolderAnswers);
    }
    void Message(QWidget *, const QString &text) override { Messages.append(text); }
    std::deque<bool> QuestionAnswers; // none left: No
    QStringList Questions;
    bool Question(QWidget *, const QString &text) override
    {
        Questions.append(text);
        const bool yes = !QuestionAnswers.empty() && QuestionAnswers.front();
        if (!QuestionAnswers.empty()) {
            QuestionAnswers.pop_front();
        }
        return yes;
    }
    std::deque<bool> OpenFolderAnswers; // "打开文件夹" pressed after a job; none left: OK
    bool Finished(QWidget *, const QString &text) override
    {
        Messages.append(text);
        const bool open = !OpenFolderAnswers.empty() && OpenFolderAnswers.front();
        if (!OpenFolderAnswers.empty()) {
            OpenFolderAnswers.pop_front();
        }
        return open;
    }
    bool DesktopHasPlayer = true; // false: no program opens an MP3 file
    bool OpenDocument(const QString &path) override
    {
        Opened.append(path);
        return DesktopHasPlayer || !path.endsWith(".mp3");
    }

private:
    static QString Take(std::deque<QString> &q)
    {
        if (q.empty()) {
            return QString();
        }
        QString s = q.front();
        q.pop_front();
        return s;
    }
};

// A window's control by its designer name, as a user finds it on the screen.
template <class T> T *Control(const QWidget &root, const char *name)
{
    T *w = root.findChild<T *>(name);
    if (w == nullptr) {
        qFatal("no control %s in %s", name, qPrintable(root.objectName()));
    }
    return w;
}

#define CONTROL(Type, Name) Type *const Name = Control<Type>(root, #Name);

// The controls of the main window that the tests drive.
struct TMainControls
{
    const QWidget &root;
    CONTROL(QTabWidget, PageControl1)
    CONTROL(QCheckBox, CheckBox1)
    CONTROL(QWidget, TabSheet1)
    CONTROL(QWidget, TabSheet2)
    CONTROL(QLabel, ProgramIcon)
    CONTROL(QLabel, Version)
    CONTROL(QLabel, BuildVersion)
    // The Cut page
    CONTROL(QLineEdit, Edit1)
    CONTROL(QLineEdit, Edit11)
    CONTROL(QPushButton, SpeedButton1)
    CONTROL(QPushButton, SpeedButton2)
    CONTROL(QPushButton, SpeedButton3)
    CONTROL(QPushButton, SpeedButton4)
    CONTROL(QPushButton, BitBtn1)
    CONTROL(QPushButton, BitBtn2)
    CONTROL(QPushButton, BitBtn3)
    CONTROL(QPushButton, BitBtn4)
    CONTROL(TSpinEdit, SpinEdit6)
    CONTROL(TSpinEdit, SpinEdit7)
    CONTROL(TSpinEdit, SpinEdit8)
    CONTROL(TSpinEdit, SpinEdit9)
    CONTROL(TSpinEdit, SpinEdit10)
    CONTROL(TSpinEdit, SpinEdit11)
    CONTROL(QLabel, Label17)
    CONTROL(QLabel, Label20)
    CONTROL(QLabel, Label21)
    CONTROL(TTrackBar, TrackBar2)
    // The Split page
    CONTROL(QTreeWidget, ListView2)
    CONTROL(TTrackBar, TrackBar1)
    CONTROL(QLabel, Label14)
    CONTROL(TSpinEdit, SpinEdit1)
    CONTROL(TSpinEdit, SpinEdit2)
    CONTROL(TSpinEdit, SpinEdit3)
    CONTROL(TSpinEdit, SpinEdit4)
    CONTROL(TSpinEdit, SpinEdit5)
    CONTROL(QLineEdit, Edit2)
    CONTROL(QLineEdit, Edit3)
    CONTROL(QLineEdit, Edit4)
    CONTROL(QLineEdit, Edit5)
    CONTROL(QLineEdit, Edit6)
    CONTROL(QLineEdit, Edit7)
    CONTROL(QLineEdit, Edit8)
    CONTROL(QLineEdit, Edit9)
    CONTROL(QLineEdit, Edit10)
    CONTROL(QComboBox, ComboBox1)
    CONTROL(QPlainTextEdit, Memo1)
    CONTROL(QProgressBar, ProgressBar2)
    CONTROL(QRadioButton, RadioButton2)
    CONTROL(QRadioButton, RadioButton3)
    CONTROL(QRadioButton, RadioButton4)
    CONTROL(QGroupBox, GroupBoxmain)
    CONTROL(QGroupBox, GroupBoxadv)
    CONTROL(QGroupBox, GroupBoxsize)
    CONTROL(QGroupBox, GroupBoxfile)
    CONTROL(QPushButton, SpeedButton11)
    CONTROL(QPushButton, SpeedButton12)
    CONTROL(QPushButton, SpeedButton13)
    CONTROL(QPushButton, SpeedButton14)
    CONTROL(QPushButton, SpeedButton15)
    CONTROL(QPushButton, SpeedButton19)
    CONTROL(QPushButton, SpeedButton24)
    CONTROL(QPushButton, SpeedButton25)
    CONTROL(QPushButton, SpeedButtonStop)
};

// The tag dialog's controls.
struct TInfoControls
{
    const QWidget &root;
    CONTROL(QLineEdit, Edit2)
    CONTROL(QLineEdit, Edit3)
    CONTROL(QLineEdit, Edit4)
    CONTROL(QLineEdit, Edit5)
    CONTROL(QLineEdit, Edit6)
    CONTROL(QComboBox, ComboBox1)
    CONTROL(QPushButton, SpeedButton1)
    CONTROL(QPushButton, SpeedButton2)
    CONTROL(QPushButton, SpeedButton3)
};

// The planner dialog's controls.
struct TAddspecialControls
{
    const QWidget &root;
    CONTROL(QLineEdit, Edit1)
    CONTROL(QLineEdit, Edit2)
    CONTROL(QLineEdit, MaskEdit1)
    CONTROL(QLineEdit, MaskEdit2)
    CONTROL(QRadioButton, RadioGroup1Item0)
    CONTROL(QRadioButton, RadioGroup1Item1)
    CONTROL(QRadioButton, RadioGroup2Item0)
    CONTROL(QRadioButton, RadioGroup2Item1)
    CONTROL(QPushButton, SpeedButton1)
    CONTROL(QPushButton, SpeedButton2)
};

#undef CONTROL

// What the windows remember starts empty, unless a test restarts them on purpose.
struct TSettingsAtStart
{
    explicit TSettingsAtStart(bool keep)
    {
        if (!keep) {
            WindowSettings().clear();
        }
    }
};

// The three windows in start-up order, as the program makes them.
struct TWindows : private TSettingsAtStart
{
    std::unique_ptr<TFrm_main> main = std::make_unique<TFrm_main>();
    std::unique_ptr<Tfrm_info> info = std::make_unique<Tfrm_info>();
    std::unique_ptr<Tfrm_addspecial> addspecial = std::make_unique<Tfrm_addspecial>();
    TSplitPage *split = main->SplitPage();
    TMainControls ui{*main};
    TInfoControls infoUi{*info};
    TAddspecialControls plannerUi{*addspecial};

    // keepSettings: as a restart finds what the last windows remembered.
    explicit TWindows(bool keepSettings = false) : TSettingsAtStart(keepSettings)
    {
        main->SetDialogs(info.get(), addspecial.get());
        // At the designed size, the smallest: the tests of the waveform make room for it.
        main->resize(main->minimumSize());
    }
    ~TWindows()
    {
        addspecial.reset();
        info.reset();
        main.reset();
    }
};

// What does not show whole in the window's font, and where: every caption, label and number of
// both pages on every step, the tag dialog and the planner (a file open on the Split page).
inline QStringList TextsCutShort(TWindows &w)
{
    QStringList cut;
    const auto check = [&cut](QWidget *root, const QString &where) {
        for (QWidget *c : root->findChildren<QWidget *>()) {
            auto *tool = qobject_cast<QToolButton *>(c);
            if (!c->isVisible() || c->objectName().startsWith("qt_") ||
                (tool != nullptr && tool->text().isEmpty())) { // an arrow, no text
                continue;
            }
            const QString what = where + ": " + c->objectName();
            auto *label = qobject_cast<QLabel *>(c);
            auto *button = qobject_cast<QPushButton *>(c);
            auto *field = qobject_cast<TSpinEdit *>(c);
            if (button != nullptr) { // a push button's text, its access key's "&" left out
                const QString text = QString(button->text()).remove('&');
                if (button->fontMetrics().horizontalAdvance(text) + 12 > button->width()) {
                    cut << what;
                }
            } else if (qobject_cast<QAbstractButton *>(c) != nullptr ||
                       (label != nullptr && !label->wordWrap() && !label->text().isEmpty())) {
                if (c->sizeHint().width() > c->width()) {
                    cut << what;
                }
            } else if (field != nullptr) {
                const QString widest(std::min(field->MaxLength(), 4), '8');
                const int text = field->fontMetrics().horizontalAdvance(widest);
                if (field->findChild<QLineEdit *>()->width() < text + 4) {
                    cut << what;
                }
            }
        }
    };
    check(w.ui.TabSheet1, "cut");
    w.ui.PageControl1->setCurrentIndex(1);
    check(w.ui.TabSheet2, "split, step 1");
    for (QRadioButton *method : w.ui.TabSheet2->findChildren<QRadioButton *>()) {
        w.split->SpeedButton13Click();
        method->setChecked(true);
        w.split->SpeedButton14Click();
        check(w.ui.TabSheet2, "split, " + PlainText(method->text()));
    }
    w.split->ListView2DblClick();
    check(w.info.get(), "tag dialog");
    w.info->close();
    w.split->N3Click();
    check(w.addspecial.get(), "planner");
    w.addspecial->close();
    return cut;
}

// Runs a handler through the application's event loop, as a click would, so that what it
// lets escape reaches the exception filter.
inline void RunAsEvent(const std::function<void()> &handler)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        handler();
    });
    QTRY_VERIFY(ran);
}

// Lets the event loop run until the jobs the windows started off their thread have ended and
// told their outcome.
inline void WaitIdle(const TWindows &w)
{
    QTRY_VERIFY_WITH_TIMEOUT(!w.split->Running() && !w.main->CutRunning(), 120000);
}

// Types a range into the Cut page's six fields ("1:02.500": minutes, seconds, milliseconds).
inline void TypeRange(const TMainControls &ui, const QString &start, const QString &end)
{
    const QStringList s = start.split(QRegularExpression("[:.]"));
    const QStringList e = end.split(QRegularExpression("[:.]"));
    ui.SpinEdit6->SetText(s[0]);
    ui.SpinEdit7->SetText(s[1]);
    ui.SpinEdit8->SetText(s[2]);
    ui.SpinEdit9->SetText(e[0]);
    ui.SpinEdit10->SetText(e[1]);
    ui.SpinEdit11->SetText(e[2]);
}

// The first line of each message: a job's report, before the details that follow it.
inline QStringList FirstLines(const QStringList &messages)
{
    QStringList lines;
    for (const QString &m : messages) {
        lines.append(m.section('\n', 0, 0));
    }
    return lines;
}

inline QString Q(const std::filesystem::path &p)
{
    return QString::fromStdString(p.string());
}

// A CBR file of fixture frames (128 kbps, 44100 Hz) lasting about seconds.
inline std::filesystem::path FramesFile(const TTempDir &dir, const std::string &name,
                                        double seconds, const Bytes &tail = {})
{
    Bytes bytes;
    AppendFrames(bytes, THeaderSpec{}, int(seconds * 44100 / 1152));
    Append(bytes, tail);
    WriteFile(dir / name, bytes);
    return dir / name;
}

// The tags an output holds, as the core reads a source's.
inline TSourceTags TagsOf(const std::filesystem::path &file)
{
    TSource input;
    TJobOutcome outcome;
    if (!OpenJobInput(file, input, outcome)) {
        return {};
    }
    return ReadSourceTags(*input.Stream, input.Hdr.AudioStart);
}

// An MPEG-2.5 file of 8 kbps fixture frames: an hour of it is a few megabytes.
inline std::filesystem::path LongFile(const TTempDir &dir, const std::string &name, double seconds)
{
    Bytes bytes;
    AppendFrames(bytes, THeaderSpec{3, 3, 1, 2}, int(seconds * 8000 / 576));
    WriteFile(dir / name, bytes);
    return dir / name;
}

#define GUI_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) {                                      \
            qputenv("SDL_AUDIODRIVER", "dummy");                                                   \
        }                                                                                          \
        TApplication app(argc, argv);                                                              \
        const TTempDir settings; /* what the windows remember stays with the test */               \
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,                             \
                           QString::fromStdString(settings.Path().string()));                      \
        TestClass tc;                                                                              \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
