// The tag dialog on a segment row, and the parts that carry their rows' own tags.
#include "GuiSupport.h"
#include "MP3TAG.h"

namespace fs = std::filesystem;

namespace {

void PageFields(Ui::TFrm_main &ui)
{
    ui.Edit2->setText("Page title");
    ui.Edit3->setText("Page artist");
    ui.Edit4->setText("Page album");
    ui.Edit5->setText("1999");
    ui.Edit6->setText("Page comment");
    ui.ComboBox1->setCurrentIndex(17); // Rock
}

QStringList Dialog(const Tfrm_info &d)
{
    return {d.ui->Edit2->text(),
            d.ui->Edit3->text(),
            d.ui->Edit4->text(),
            d.ui->Edit5->text(),
            d.ui->ComboBox1->currentText(),
            d.ui->Edit6->text()};
}

QStringList RowTexts(const QTreeWidgetItem *row)
{
    QStringList texts;
    for (int i = 2; i <= 7; ++i) {
        texts.append(TFrm_main::SubItem(row, i));
    }
    return texts;
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
        w.main->ListView2DblClick();
        QVERIFY(!w.info->isVisible()); // no row: nothing opens
        w.main->filelength = 120000;
        w.ui.ListView2->setCurrentItem(w.main->AddRow("00:00.000", "02:00.000"));
        w.main->ListView2DblClick();
        QVERIFY(w.info->isVisible());
        QCOMPARE(Dialog(*w.info), (QStringList{"Page title", "Page artist", "Page album", "1999",
                                               "Rock", "Page comment"}));
        w.info->ui->Edit2->setText("changed");
        QTest::mouseClick(w.info->ui->SpeedButton1, Qt::LeftButton); // 重置
        QCOMPARE(w.info->ui->Edit2->text(), QString("Page title"));
        QTest::mouseClick(w.info->ui->SpeedButton3, Qt::LeftButton); // 退出
        QVERIFY(!w.info->isVisible());
        QVERIFY(!TFrm_main::HasOwnTag(w.ui.ListView2->topLevelItem(0)));
    }

    void OkStoresTheTextsAndResetReturnsToThem()
    {
        TFakeDialogs dialogs;
        TWindows w;
        PageFields(w.ui);
        w.main->filelength = 120000;
        QTreeWidgetItem *row = w.main->AddRow("00:00.000", "02:00.000");
        w.ui.ListView2->setCurrentItem(row);
        w.main->N4Click(); // the popup's 标签...
        QVERIFY(w.info->isVisible());
        auto &d = *w.info->ui;
        d.Edit2->setText("第一章");
        d.Edit5->setText("2024");
        d.ComboBox1->setCurrentIndex(-1);
        QTest::mouseClick(d.SpeedButton2, Qt::LeftButton); // 确定
        QVERIFY(!w.info->isVisible());
        QCOMPARE(RowTexts(row),
                 (QStringList{"第一章", "Page artist", "Page album", "", "2024", "Page comment"}));
        QCOMPARE(row->columnCount(), 3); // the texts are not shown in the list

        TFrm_main::SetSubItem(row, 5, "bEBoB"); // any letter case finds the genre
        w.main->ListView2DblClick();
        QCOMPARE(d.ComboBox1->currentText(), QString("Bebob"));
        d.Edit3->setText("edited");
        QTest::mouseClick(d.SpeedButton1, Qt::LeftButton);
        QVERIFY2(d.Edit3->text() == QString("Page artist"), "重置 returns to the row's texts");
        QTest::mouseClick(d.SpeedButton2, Qt::LeftButton);
        QVERIFY2(TFrm_main::SubItem(row, 5) == QString("Bebob"), "stored as the list writes it");

        TFrm_main::SetSubItem(row, 5, "Unknown");
        w.main->ListView2DblClick();
        QCOMPARE(d.ComboBox1->currentIndex(), -1);
        d.Edit2->setText("not kept");
        QTest::mouseClick(d.SpeedButton3, Qt::LeftButton);
        QCOMPARE(TFrm_main::SubItem(row, 2), QString("第一章"));
    }

    void SplitsCopyAndMergesKeepTheTexts()
    {
        TFakeDialogs dialogs;
        TWindows w;
        w.main->filelength = 180000;
        QTreeWidgetItem *row = w.main->AddRow("00:00.000", "03:00.000");
        w.ui.ListView2->setCurrentItem(row);
        TFrm_main::SetSubItem(row, 2, "Whole");
        w.main->additem(60000);
        QCOMPARE(TFrm_main::SubItem(w.ui.ListView2->topLevelItem(1), 2), QString("Whole"));
        TFrm_main::SetSubItem(w.ui.ListView2->topLevelItem(1), 2, "Second");
        w.main->additem(120000); // splits the second row
        QCOMPARE(TFrm_main::SubItem(w.ui.ListView2->topLevelItem(2), 2), QString("Second"));
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.main->N1Click(); // merged into the first row, which keeps its own texts
        QCOMPARE(TFrm_main::SubItem(w.ui.ListView2->topLevelItem(0), 2), QString("Whole"));
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->text(1), QString("02:00.000"));
    }

    void PartsCarryTheirRowsTags()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = FramesFile(dir, "in.mp3", 12.0);
        w.main->OpenSplitInput(Q(mp3));
        PageFields(w.ui);
        w.ui.Edit10->setText(Q(dir.Path()));
        w.ui.Edit9->setText("t");
        w.main->additem(4000);
        w.main->additem(8000);
        QTreeWidgetItem *middle = w.ui.ListView2->topLevelItem(1);
        const std::string longTitle = "一二三四五六七八九十一二三四五六"; // 32 bytes in GB18030
        TFrm_main::SetSubItem(middle, 2, QString::fromStdString(longTitle));
        TFrm_main::SetSubItem(middle, 3, "Own artist");
        TFrm_main::SetSubItem(middle, 4, "");
        TFrm_main::SetSubItem(middle, 5, "folklore");
        TFrm_main::SetSubItem(middle, 6, "2001");
        TFrm_main::SetSubItem(middle, 7, "");
        QTreeWidgetItem *last = w.ui.ListView2->topLevelItem(2);
        TFrm_main::SetSubItem(last, 2, ""); // its own empty title: no tag
        w.main->SpeedButton24Click();
        QCOMPARE(dialogs.Messages, QStringList{Expected::Done});

        TID3Tag tag;
        TFileStream first(dir / "t000.mp3", fmOpenRead);
        QVERIFY(tag.ReadTag(first));
        QCOMPARE(tag.Title, std::string("Page title"));
        QCOMPARE(tag.Year, std::string("1999"));
        QCOMPARE(int(tag.GenreID), 17);
        TFileStream second(dir / "t001.mp3", fmOpenRead);
        QVERIFY(tag.ReadTag(second));
        QVERIFY2(tag.Title.size() == size_t(30), "cut at a character boundary");
        QCOMPARE(FromTagText(tag.Title), QString::fromStdString(longTitle).left(15));
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
