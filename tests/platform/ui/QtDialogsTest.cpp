#include <QAbstractButton>
#include <QKeyEvent>
#include <QTimer>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>

#include <QDateTime>
#include <QLocale>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestDialogs.h"
#include "UiFixture.h"
#include "platform/ui/QtUserDialogs.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

// Runs the tests with the real Qt dialogs installed instead of the script.
class QtDialogsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        previous_ = SetUserDialogs(&QtUserDialogs());
    }
    void TearDown() override {
        SetUserDialogs(previous_);
        UiTest::TearDown();
    }

    // Runs `action` on the first window of type T that opens modally. (The
    // modal loop of that window runs inside whatever loop delivered its
    // request, so a test acts in it from a timer, not after a pump.)
    template <class T>
    static void WhenModal(std::function<void(T*)> action) {
        auto* timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
            T* window = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!window) return;
            timer->stop();
            timer->deleteLater();
            action(window);
        });
        timer->start();
    }

    // The texts of the row named `name` in a file dialog's detail list, once
    // the list shows it with its date (the folder is read in the background).
    static QStringList ListedRow(QFileDialog* dialog, const QString& name) {
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!view) {
            ADD_FAILURE() << "the file dialog has no detail list";
            return {};
        }
        QStringList row;
        const bool listed = PumpUntil([&] {
            row.clear();
            const QAbstractItemModel* model = view->model();
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < model->rowCount(root); ++r) {
                if (model->index(r, 0, root).data().toString() != name) continue;
                for (int c = 0; c < model->columnCount(root); ++c) row << model->index(r, c, root).data().toString();
                return row.size() == 4 && !row[3].isEmpty();
            }
            return false;
        });
        if (!listed) ADD_FAILURE() << "the file dialog did not list " << name.toStdString();
        // The list shows the whole date: the column less the item's text
        // margins on both sides holds it.
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        if (listed && view->header()->sectionSize(3) - 2 * margin < view->fontMetrics().horizontalAdvance(row[3]))
            ADD_FAILURE() << "the date column (" << view->header()->sectionSize(3) << " pixels) is too narrow for "
                          << row[3].toStdString();
        return row;
    }

    // Types a file name as a user would. (selectFile leaves the name field
    // alone once it has the focus, which it gets at a moment that depends on
    // the machine's load.)
    static void TypeFileName(QFileDialog* dialog, const QString& name) {
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(name);
        else
            ADD_FAILURE() << "the file dialog has no name field";
    }

private:
    IUserDialogs* previous_ = nullptr;
};

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

TEST_F(QtDialogsTest, AMessageBoxFromAWorkerIsShownByTheUiThreadAndTheWorkerWaits) {
    std::atomic<int> answer{-1};
    bool seen = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        seen = true;
        EXPECT_EQ(box->thread(), QThread::currentThread());
        EXPECT_EQ(box->text(), QStringLiteral("出错了哦(Error accour)"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(answer.load(), -1) << "the worker waits for the answer";
        ASSERT_NE(ButtonWithText(box, QStringLiteral("确定")), nullptr);
        QAbstractButton* cancel = ButtonWithText(box, QStringLiteral("取消"));
        ASSERT_NE(cancel, nullptr);
        cancel->click();
    });
    std::thread worker([&] { answer = AfxMessageBox(L"出错了哦(Error accour)", MB_OKCANCEL | MB_ICONERROR); });
    const bool answered = PumpUntil([&] { return answer.load() != -1; });
    if (!answered) {
        // Free the worker before failing.
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
    }
    worker.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer.load(), IDCANCEL);
}

TEST_F(QtDialogsTest, AMessageBoxOpensOverTheModalDialogAndEscAnswersOk) {
    testui::TestDialog dlg;
    int answer = 0;
    int keysSeenByDialog = 0;
    dlg.onPreTranslate = [&](MSG*) {
        ++keysSeenByDialog;
        return false;
    };
    OnNextModal([&](CDialog& d) {
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->parentWidget(), d.Widget());
            // Keys in the box are the box's: the dialog under it hears none.
            QWidget* focus = box->focusWidget() ? box->focusWidget() : box;
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(focus, &up);
            EXPECT_EQ(keysSeenByDialog, 0);
            EXPECT_EQ(CWnd::GetFocus(), nullptr);
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &esc);
        });
        answer = d.MessageBox(L"保存完毕,可以用这设置进行批量处理了");
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(answer, IDOK);
}

TEST_F(QtDialogsTest, PickersAskedFromAWorkerAnswerWithTheChoice) {
    testdata::TempDir dir;
    std::filesystem::create_directory(dir.file("扫描"));
    const QString chosenFolder = QString::fromStdString(dir.file("扫描"));

    // The folder browser, asked from a worker.
    std::atomic<bool> done{false};
    bool picked = false;
    std::wstring folder = L"/unchanged";
    WhenModal<QFileDialog>([&](QFileDialog* browser) {
        EXPECT_EQ(browser->windowTitle(), QStringLiteral("请选择目录"));
        EXPECT_EQ(browser->fileMode(), QFileDialog::Directory);
        browser->setDirectory(chosenFolder);
        TypeFileName(browser, chosenFolder);
        static_cast<QDialog*>(browser)->accept();
        if (browser->isVisible()) {
            ADD_FAILURE() << "the folder browser did not take the folder";
            browser->reject();
        }
    });
    std::thread worker([&] {
        picked = BrowseForFolder(L"请选择目录", folder);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(picked);
    EXPECT_EQ(QString::fromStdWString(folder), chosenFolder);

    // A save dialog with a filter and a default extension, no overwrite prompt.
    done = false;
    std::wstring path;
    WhenModal<QFileDialog>([&](QFileDialog* saver) {
        EXPECT_EQ(saver->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(saver->nameFilters(), QStringList{QStringLiteral("(*.jpg) (*.jpg)")});
        EXPECT_TRUE(saver->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(saver->defaultSuffix(), QStringLiteral("jpg"));
        TypeFileName(saver, QStringLiteral("结果"));
        static_cast<QDialog*>(saver)->accept();
        if (saver->isVisible()) {
            ADD_FAILURE() << "the save dialog did not take the name";
            saver->reject();
        }
    });
    worker = std::thread([&] {
        CFileDialog save(false, L"jpg", (dir.wpath() + L"/a.jpg").c_str(), OFN_HIDEREADONLY, L"(*.jpg)|*.jpg||");
        if (save.DoModal() == IDOK) path = save.GetPathName();
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(path, dir.wpath() + L"/结果.jpg");

    // The colour picker, on the user-interface thread.
    CColorDialog colour(RGB(200, 127, 0));
    WhenModal<QColorDialog>([&](QColorDialog* picker) {
        EXPECT_EQ(picker->currentColor(), QColor(200, 127, 0));
        picker->setCurrentColor(QColor(1, 2, 3));
        picker->accept();
    });
    ASSERT_EQ(colour.DoModal(), IDOK);
    EXPECT_EQ(colour.GetColor(), RGB(1, 2, 3));

    // Cancelling changes nothing.
    WhenModal<QColorDialog>([&](QColorDialog* picker) { picker->reject(); });
    EXPECT_EQ(colour.DoModal(), IDCANCEL);
    EXPECT_EQ(colour.GetColor(), RGB(1, 2, 3));
}

// A save dialog asked to confirm (OFN_OVERWRITEPROMPT) does not take the name
// of a file that exists until the user says yes to replacing it, in Chinese;
// "否" leaves the user in the dialog with nothing chosen.
TEST_F(QtDialogsTest, ASaveDialogAsksBeforeItTakesTheNameOfAFileThatExists) {
    testdata::TempDir dir;
    {
        std::ofstream existing(dir.file("a.jpg"));
        existing << "page";
    }
    std::atomic<bool> done{false};
    std::wstring path;
    int result = -1;
    QString question;
    std::vector<QMessageBox::StandardButton> answers = {QMessageBox::No, QMessageBox::Yes};
    std::function<void(QFileDialog*)> acceptUntilAnswered;
    acceptUntilAnswered = [&](QFileDialog* saver) {
        EXPECT_FALSE(saver->testOption(QFileDialog::DontConfirmOverwrite));
        TypeFileName(saver, QStringLiteral("a.jpg"));
        const QMessageBox::StandardButton answer = answers.front();
        answers.erase(answers.begin());
        bool asked = false;
        WhenModal<QMessageBox>([&, answer](QMessageBox* box) {
            asked = true;
            question = box->text();
            QAbstractButton* button = box->button(answer);
            ASSERT_NE(button, nullptr);
            button->click();
        });
        static_cast<QDialog*>(saver)->accept();
        EXPECT_TRUE(asked) << "no question before replacing a.jpg";
        if (answer == QMessageBox::No) {
            EXPECT_TRUE(saver->isVisible()) << "\"否\" closed the dialog";
            if (saver->isVisible()) WhenModal<QFileDialog>(acceptUntilAnswered);
        }
    };
    WhenModal<QFileDialog>(acceptUntilAnswered);
    std::thread worker([&] {
        CFileDialog save(false, nullptr, (dir.wpath() + L"/a.jpg").c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         L"(*.jpg)|*.jpg||");
        result = save.DoModal();
        if (result == IDOK) path = save.GetPathName();
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(answers.empty()) << "the dialog was not asked twice";
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(path, dir.wpath() + L"/a.jpg");
    EXPECT_TRUE(question.startsWith(QStringLiteral("a.jpg 已存在"))) << question.toStdString();
}

TEST_F(QtDialogsTest, TheFolderBrowserSpeaksChinese) {
    // A folder with a sub-folder and a picture of 5000 bytes, both last
    // changed on 25 December 2024 at 09:07 (local time).
    testdata::TempDir dir;
    const std::string sub = dir.file("子目录");
    const std::string picture = dir.file("第一页.jpg");
    std::filesystem::create_directory(sub);
    {
        std::string bytes = "\xFF\xD8\xFF\xE0";
        bytes.resize(5000, '\0');
        std::ofstream(picture, std::ios::binary) << bytes;
    }
    const time_t changed = QDateTime(QDate(2024, 12, 25), QTime(9, 7)).toSecsSinceEpoch();
    const timespec times[2] = {{changed, 0}, {changed, 0}};
    for (const std::string& path : {sub, picture}) ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    // Qt's own dialog, as the source-folder button opens it.
    std::wstring folder = dir.wpath();
    QStringList buttons;
    QStringList folderRow;
    WhenModal<QFileDialog>([&](QFileDialog* browser) {
        for (QAbstractButton* b : browser->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty()) buttons << b->text();
        folderRow = ListedRow(browser, QStringLiteral("子目录"));
        browser->reject();
    });
    EXPECT_FALSE(BrowseForFolder(L"请选择目录", folder));
    EXPECT_EQ(folder, dir.wpath());
    // "Choose" and "Cancel" of Qt's catalogue in Chinese.
    EXPECT_TRUE(buttons.contains(QStringLiteral("选择(&C)"))) << buttons.join(QStringLiteral("|")).toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(QStringLiteral("|")).toStdString();
    EXPECT_FALSE(buttons.contains(QStringLiteral("Cancel")));
    // The folder's kind and date as a Chinese desktop writes them.
    EXPECT_EQ(folderRow, (QStringList{QStringLiteral("子目录"), QString(), QStringLiteral("文件夹"),
                                      QStringLiteral("2024/12/25 09:07")}))
        << folderRow.join(QStringLiteral("|")).toStdString();

    // The file dialog lists the picture with its size, kind and date.
    QStringList fileRow;
    WhenModal<QFileDialog>([&](QFileDialog* opener) {
        fileRow = ListedRow(opener, QStringLiteral("第一页.jpg"));
        opener->reject();
    });
    CFileDialog open(true, nullptr, (dir.wpath() + L"/第一页.jpg").c_str(), OFN_HIDEREADONLY, L"图片|*.jpg||");
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    EXPECT_EQ(fileRow, (QStringList{QStringLiteral("第一页.jpg"), QStringLiteral("4.88 kB"), QStringLiteral("JPEG 图像"),
                                    QStringLiteral("2024/12/25 09:07")}))
        << fileRow.join(QStringLiteral("|")).toStdString();
}

// What Qt writes for the user is Chinese (China); the program's own numbers
// (edits, files) are not Qt's and keep the C locale's form.
TEST_F(QtDialogsTest, QtSpeaksChineseWhileTheProgramsNumbersKeepTheirForm) {
    EXPECT_EQ(QLocale().name(), QStringLiteral("zh_CN"));
    EXPECT_EQ(QLocale().toString(12345.5, 'f', 1), QStringLiteral("12,345.5"));
    EXPECT_EQ(QLocale().formattedDataSize(500), QStringLiteral("500 字节"));
    testui::TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        d.SetDlgItemFloat(testui::IDC_DELTA, 12345.5, L"%.1f");
        EXPECT_EQ(drive.Text(testui::IDC_DELTA), L"12345.5");
        d.SetDlgItemFloat(testui::IDC_DELTA, 0.1, L"%.1f");
        EXPECT_EQ(drive.Text(testui::IDC_DELTA), L"0.1");
        d.SetDlgItemInt(testui::IDC_DELTA, 12345);
        EXPECT_EQ(drive.Text(testui::IDC_DELTA), L"12345");
        ASSERT_TRUE(drive.Type(testui::IDC_DELTA, L"1234.5"));
        EXPECT_DOUBLE_EQ(d.GetDlgItemFloat(testui::IDC_DELTA), 1234.5);
    });
}

TEST(QtFileFilter, PairsBecomeQtNameFilters) {
    struct Case { const wchar_t* filter; const char* expected; };
    const Case cases[] = {
        {L"(*.jpg)|*.jpg||", "(*.jpg) (*.jpg)"},
        {L"图片|*.jpg;*.tif;*.png|所有文件|*.*||", "图片 (*.jpg *.tif *.png);;所有文件 (*.*)"},
        {L"", ""},
        {L"TIFF|*.tif", "TIFF (*.tif)"},
    };
    for (const auto& c : cases) EXPECT_EQ(QtFileFilter(c.filter), QString::fromUtf8(c.expected)) << c.expected;
}
