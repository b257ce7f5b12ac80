#include "shell/standardtexttranslator.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// Every text a dialog shows: labels, buttons with their tips, group titles, column headings and view cells.
QStringList shownTexts(QWidget* dialog)
{
    QStringList texts;
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(dialog))
            continue;
        if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text() << button->toolTip();
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            texts << group->title();
        else if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
            const QAbstractItemModel* model = view->model();
            for (int column = 0; column < model->columnCount(view->rootIndex()); ++column) {
                texts << model->headerData(column, Qt::Horizontal).toString();
                for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
                    texts << model->index(row, column, view->rootIndex()).data().toString();
            }
        }
    }
    return texts;
}
} // namespace

class TestStandardTextTranslator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(":/rc/qm/qt_zh_CN.qm"));
        QApplication::installTranslator(&m_translator);
    }

    // Every standard dialog the program opens reads Chinese, the file types of the file dialog included.
    void standardDialogsReadChinese_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("save file") << "save";
        QTest::newRow("open file") << "open";
        QTest::newRow("colour") << "colour";
        QTest::newRow("question") << "question";
        QTest::newRow("print preview") << "preview";
    }
    void standardDialogsReadChinese()
    {
        QFETCH(QString, dialog);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("账本"));
        std::unique_ptr<QWidget> shown;
        if (dialog == "save" || dialog == "open") {
            auto* files = new QFileDialog(nullptr, "备份数据文件", folder.path(), "数据文件 (*.db)");
            files->setAcceptMode(dialog == "save" ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            files->setViewMode(QFileDialog::Detail);
            shown.reset(files);
        } else if (dialog == "colour") {
            shown = std::make_unique<QColorDialog>();
        } else if (dialog == "question") {
            shown = std::make_unique<QMessageBox>(QMessageBox::Question, "备份", "备份完成",
                                                  QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes |
                                                      QMessageBox::No);
        } else {
            shown = std::make_unique<QPrintPreviewDialog>();
        }
        shown->show();
        // The file dialog lists the folder from a thread of its own.
        if (qobject_cast<QFileDialog*>(shown.get()))
            QTRY_VERIFY_WITH_TIMEOUT(shownTexts(shown.get()).contains("账本"), 30000);

        // Latin words of three letters or more are a text Qt shows untranslated; the colour dialog's "HTML" and
        // the name of the home folder in the file dialog's side bar are no such text.
        static const QRegularExpression latinWord("[A-Za-z]{3,}");
        const QStringList allowed{"HTML", QFileInfo(QDir::homePath()).fileName()};
        QStringList untranslated;
        for (const QString& text : shownTexts(shown.get()))
            for (auto match = latinWord.globalMatch(text); match.hasNext();)
                if (const QString word = match.next().captured(); !allowed.contains(word))
                    untranslated << word;
        QCOMPARE(untranslated, QStringList());
    }

private:
    StandardTextTranslator m_translator;
};

QTEST_MAIN(TestStandardTextTranslator)
#include "tst_standardtexttranslator.moc"
