// The tag dialog on a segment row, and the parts that carry their rows' own tags.
#include "GuiSupport.h"
#include "Shared.h"
#include "tags/MP3TAG.h"
#include "tags/TextCodec.h"

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

void PageFields(const TMainControls &ui)
{
    ui.Edit2->setText("Page title");
    ui.Edit3->setText("Page artist");
    ui.Edit4->setText("Page album");
    ui.Edit5->setText("1999");
    ui.Edit6->setText("Page comment");
    ui.ComboBox1->setCurrentIndex(17); // Rock
}

QStringList Dialog(const TInfoControls &d)
{
    return {d.Edit2->text(),
            d.Edit3->text(),
            d.Edit4->text(),
            d.Edit5->text(),
            d.ComboBox1->currentText(),
            d.Edit6->text()};
}

// The texts a row keeps, as the dialog shows them; empty when it has none of its own.
QStringList RowTexts(const TWindows &w, size_t row)
{
    const std::optional<TPartTag> &t = w.split->Segments()[row].Tag;
    if (!t) {
        return {};
    }
    const int genre = t->GenreID < GenreNames.size() ? int(t->GenreID) : -1;
    return {FromTagText(t->Title),
            FromTagText(t->Artist),
            FromTagText(t->Album),
            FromTagText(t->Year),
            genre < 0 ? QString() : w.infoUi.ComboBox1->itemText(genre),
            FromTagText(t->Comment)};
}

// Gives a row texts of its own through the dialog, as a user does.
void StoreTexts(TWindows &w, int row, const QStringList &texts)
{
    w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(row));
    w.split->ListView2DblClick();
    QVERIFY(w.info->isVisible());
    w.infoUi.Edit2->setText(texts[0]);
    w.infoUi.Edit3->setText(texts[1]);
    w.infoUi.Edit4->setText(texts[2]);
    w.infoUi.Edit5->setText(texts[3]);
    w.infoUi.ComboBox1->setCurrentIndex(w.infoUi.ComboBox1->findText(texts[4]));
    w.infoUi.Edit6->setText(texts[5]);
    QTest::mouseClick(w.infoUi.SpeedButton2, Qt::LeftButton); // 确定
    QVERIFY(!w.info->isVisible());
}

} // namespace

class TagDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void RowWithoutTextsShowsThePageFields()
    {
        TFakeDialogs dialogs;
        TWindows w;
        PageFields(w.ui);
        w.split->ListView2DblClick();
        QVERIFY(!w.info->isVisible()); // no row: nothing opens
        w.split->ShowFile(120000);
        w.split->ListView2DblClick();
        QVERIFY(w.info->isVisible());
        QCOMPARE(Dialog(w.infoUi), (QStringList{"Page title", "Page artist", "Page album", "1999",
                                                "Rock", "Page comment"}));
        w.infoUi.Edit2->setText("changed");
        QTest::mouseClick(w.infoUi.SpeedButton1, Qt::LeftButton); // 重置
        QCOMPARE(w.infoUi.Edit2->text(), QString("Page title"));
        QTest::mouseClick(w.infoUi.SpeedButton3, Qt::LeftButton); // 退出
        QVERIFY(!w.info->isVisible());
        QCOMPARE(RowTexts(w, 0), QStringList{});
    }

    void OkStoresTheTextsAndResetReturnsToThem()
    {
        TFakeDialogs dialogs;
        TWindows w;
        PageFields(w.ui);
        w.split->ShowFile(120000);
        w.split->N4Click(); // the popup's 标签...
        QVERIFY(w.info->isVisible());
        auto &d = w.infoUi;
        d.Edit2->setText("第一章");
        d.Edit5->setText("2024");
        d.ComboBox1->setCurrentIndex(-1);
        QTest::mouseClick(d.SpeedButton2, Qt::LeftButton); // 确定
        QVERIFY(!w.info->isVisible());
        QCOMPARE(RowTexts(w, 0),
                 (QStringList{"第一章", "Page artist", "Page album", "2024", "", "Page comment"}));
        QCOMPARE(w.ui.ListView2->columnCount(), 3); // the texts are not shown in the list

        w.split->ListView2DblClick();
        QCOMPARE(d.Edit2->text(), QString("第一章"));
        d.Edit3->setText("edited");
        d.ComboBox1->setCurrentIndex(84); // Bebob
        QTest::mouseClick(d.SpeedButton1, Qt::LeftButton);
        QVERIFY2(d.Edit3->text() == QString("Page artist"), "重置 returns to the row's texts");
        QCOMPARE(d.ComboBox1->currentIndex(), -1);
        d.ComboBox1->setCurrentIndex(84);
        QTest::mouseClick(d.SpeedButton2, Qt::LeftButton);
        QCOMPARE(int(w.split->Segments()[0].Tag->GenreID), 84);

        w.split->ListView2DblClick();
        d.Edit2->setText("not kept");
        QTest::mouseClick(d.SpeedButton3, Qt::LeftButton);
        QCOMPARE(RowTexts(w, 0).at(0), QString("第一章"));
    }

    void SplitsCopyAndMergesKeepTheTexts()
    {
        TFakeDialogs dialogs;
        TWindows w;
        w.split->ShowFile(180000);
        const QStringList whole = {"Whole", "", "", "", "", ""};
        StoreTexts(w, 0, whole);
        w.split->additem(60000);
        QCOMPARE(RowTexts(w, 1), whole);
        const QStringList second = {"Second", "", "", "", "Rock", ""};
        StoreTexts(w, 1, second);
        w.split->additem(120000); // splits the second row
        QCOMPARE(RowTexts(w, 2), second);
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.split->N1Click(); // merged into the first row, which keeps its own texts
        QCOMPARE(RowTexts(w, 0), whole);
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->text(1), QString("02:00.000"));
    }

    void PartsCarryTheirRowsTags()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = FramesFile(dir, "in.mp3", 12.0);
        w.split->OpenSplitInput(Q(mp3));
        PageFields(w.ui);
        w.ui.Edit10->setText(Q(dir.Path()));
        w.ui.Edit9->setText("t");
        w.split->additem(4000);
        w.split->additem(8000);
        const std::string longTitle = "一二三四五六七八九十一二三四五六"; // 32 bytes in GB18030
        StoreTexts(w, 1,
                   {QString::fromStdString(longTitle), "Own artist", "", "2001", "Folklore", ""});
        StoreTexts(w, 2, {"", "", "", "", "", ""}); // its own empty title: no tag
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Expected::Done});

        TID3Tag tag;
        TFileStream first(dir / "t000.mp3", fmOpenRead);
        QVERIFY(tag.ReadTag(first));
        QCOMPARE(tag.Title, std::string("Page title"));
        QCOMPARE(tag.Year, std::string("1999"));
        QCOMPARE(int(tag.GenreID), 17);
        TFileStream second(dir / "t001.mp3", fmOpenRead);
        QVERIFY(tag.ReadTag(second));
        QVERIFY2(tag.Title.size() == size_t(30), "cut at a character boundary");
        QCOMPARE(QString::fromStdString(GB18030ToUtf8(tag.Title)), // the ID3v1 tag's code page
                 QString::fromStdString(longTitle).left(15));
        QCOMPARE(tag.Artist, std::string("Own artist"));
        QCOMPARE(tag.Album, std::string());
        QCOMPARE(int(tag.GenreID), 114);
        QCOMPARE(tag.Year, std::string("2001"));
        TFileStream third(dir / "t002.mp3", fmOpenRead);
        QVERIFY(!tag.ReadTag(third));
    }
};

GUI_TEST_MAIN(TagDialogTest)
#include "TagDialogTest.moc"
