// The window in English: chosen by the system's language or --lang, every text of both pages,
// the About page, the dialogs, their menus and the messages in English; in Chinese, every text
// as it is written.
#include "Decode.h"
#include "GuiSupport.h"

#include <QAbstractButton>
#include <QMenu>
#include <QRegularExpression>
#include <QTreeWidget>

namespace fs = std::filesystem;

namespace {

// Every text a user or a screen reader meets in a window, its hidden steps included.
QStringList Texts(QWidget &root)
{
    QStringList texts = {root.windowTitle(), root.accessibleName(), root.toolTip()};
    for (QWidget *w : root.findChildren<QWidget *>()) {
        texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
        if (auto *label = qobject_cast<QLabel *>(w)) {
            texts << label->text();
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            texts << button->text();
        } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
            texts << group->title();
        } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                texts << tabs->tabText(i);
            }
        } else if (auto *tree = qobject_cast<QTreeWidget *>(w)) {
            for (int i = 0; i < tree->columnCount(); ++i) {
                texts << tree->headerItem()->text(i);
            }
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            texts << edit->text();
        }
    }
    for (QAction *a : root.findChildren<QAction *>()) {
        texts << a->text();
    }
    texts.removeAll(QString());
    return texts;
}

QStringList Chinese(const QStringList &texts)
{
    static const QRegularExpression han(
        "[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]");
    QStringList found;
    for (const QString &t : texts) {
        if (t.contains(han)) {
            found << t;
        }
    }
    return found;
}

TApplication &App()
{
    return *qobject_cast<TApplication *>(qApp);
}

// Every text of the windows, a file open on both pages, every step of the Split page shown.
QStringList AllTexts(TWindows &w, const fs::path &file)
{
    w.main->OpenCutInput(Q(file));
    w.split->OpenSplitInput(Q(file));
    QStringList texts = Texts(*w.main) + Texts(*w.info) + Texts(*w.addspecial);
    for (QRadioButton *method : w.ui.TabSheet2->findChildren<QRadioButton *>()) {
        w.split->SpeedButton13Click();
        method->setChecked(true);
        w.split->SpeedButton14Click();
        texts += Texts(*w.main);
    }
    return texts;
}

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

private slots:
    // English where the system speaks it; Chinese everywhere else; --lang over both.
    void TheSystemOrLangChooses()
    {
        using L = TApplication::TLanguage;
        const struct
        {
            QStringList args;
            QLocale system;
            L language;
        } cases[] = {
            {{}, QLocale("en_US"), L::English},
            {{}, QLocale("en_GB"), L::English},
            {{}, QLocale("zh_CN"), L::Chinese},
            {{}, QLocale::c(), L::Chinese},
            {{}, QLocale("de_DE"), L::Chinese},
            {{"--lang", "en"}, QLocale("zh_CN"), L::English},
            {{"--lang", "zh"}, QLocale("en_US"), L::Chinese},
            {{"--lang", "fr", "a.mp3"}, QLocale("en_US"), L::English},
        };
        // As the program starts: the system's own language (ctest runs this under en_US.UTF-8).
        QStringList none = {"mp3cutter"};
        QCOMPARE(TApplication::WindowLanguage(none),
                 qgetenv("LANG").startsWith("en") ? L::English : L::Chinese);
        for (const auto &c : cases) {
            QStringList args = QStringList{"mp3cutter"} + c.args;
            QCOMPARE(TApplication::WindowLanguage(args, c.system), c.language);
            QVERIFY2(!args.contains("--lang"), qPrintable(args.join(' ')));
        }
    }

    void EnglishWindowHoldsNoChinese()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        const auto file = FramesFile(dir, "song.mp3", 3.0);
        QStringList written; // the texts as they are written (and Qt's own in Chinese)
        QVERIFY(App().LoadWindowTexts(TApplication::TLanguage::Chinese, QLocale("zh_CN")));
        {
            TWindows w;
            written = AllTexts(w, file);
        }
        QVERIFY(App().LoadWindowTexts(TApplication::TLanguage::English, QLocale("en_US")));
        {
            TWindows w;
            QCOMPARE(w.ui.BitBtn3->text(), QString("&Cut"));
            const QStringList texts = AllTexts(w, file);
            QVERIFY2(Chinese(texts).isEmpty(), qPrintable(Chinese(texts).join("\n")));
            // In the window's font the English shows whole too.
            QApplication::setFont(TApplication::WindowFont());
            TWindows shown;
            shown.main->show();
            shown.split->OpenSplitInput(Q(file));
            const QStringList cut = TextsCutShort(shown);
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
            // A message box and a report: English too.
            TWindows fresh;
            fresh.split->SpeedButton14Click(); // no file yet
            TypeRange(fresh.ui, "0:1.000", "0:1.000");
            fresh.main->OpenCutInput(Q(file));
            TypeRange(fresh.ui, "0:2.000", "0:1.000");
            QTest::mouseClick(fresh.ui.BitBtn3, Qt::LeftButton);
            WaitIdle(fresh);
            QVERIFY(dialogs.Messages.size() >= 2);
            QVERIFY2(Chinese(dialogs.Messages).isEmpty(), qPrintable(dialogs.Messages.join("\n")));
        }
        // Back in Chinese: every text as it is written.
        QVERIFY(App().LoadWindowTexts(TApplication::TLanguage::Chinese, QLocale("zh_CN")));
        TWindows w;
        QCOMPARE(w.ui.BitBtn3->text(), QString("开始剪切(&C)"));
        QCOMPARE(AllTexts(w, file), written);
    }
};

GUI_TEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
