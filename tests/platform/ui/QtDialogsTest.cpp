#include <QAbstractButton>
#include <QKeyEvent>
#include <QTimer>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>

#include <atomic>
#include <filesystem>
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

TEST_F(QtDialogsTest, TheFolderBrowserSpeaksChinese) {
    // Qt's own dialog, as the source-folder button opens it.
    std::wstring folder = L"/";
    QStringList buttons;
    QString cancel;
    WhenModal<QFileDialog>([&](QFileDialog* browser) {
        for (QAbstractButton* b : browser->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty()) buttons << b->text();
        browser->reject();
    });
    EXPECT_FALSE(BrowseForFolder(L"请选择目录", folder));
    EXPECT_EQ(folder, L"/");
    // "Choose" and "Cancel" of Qt's catalogue in Chinese.
    EXPECT_TRUE(buttons.contains(QStringLiteral("选择(&C)"))) << buttons.join(QStringLiteral("|")).toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(QStringLiteral("|")).toStdString();
    EXPECT_FALSE(buttons.contains(QStringLiteral("Cancel")));
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
