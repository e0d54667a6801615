#include "platform/ui/QtUserDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTreeView>
#include <QUrl>

#include "platform/ui/Wnd.h"

namespace {

QString Q(const std::wstring& s) { return QString::fromStdWString(s); }

// The window a dialog opens over: the modal one in front, else the main one.
QWidget* DialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (CWnd* main = AfxGetMainWnd(); main && main->Widget()) return main->Widget()->window();
    return nullptr;
}

// The file dialogs' list in the program's language: Qt's file model writes
// sizes and dates in the system's locale (English where the system has none
// of its own); these columns are written again in the program's locale, the
// size in units of 1024 bytes as the Chinese desktop shows them.
class FileListInProgramLocale final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid()) return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
            case 1:
                if (files->isDir(source)) return QString();
                return QLocale().formattedDataSize(files->size(source), 2, QLocale::DataSizeTraditionalFormat);
            case 3: {
                const QDateTime modified = files->lastModified(source);
                return modified.isValid() ? QLocale().toString(modified, QLocale::ShortFormat) : QString();
            }
            default: return QIdentityProxyModel::data(index, role);
        }
    }
};

// A Qt file dialog as the program shows them: Qt's own (never the desktop's,
// so every nested loop keeps handling messages), its list in the program's
// locale.
void PrepareFileDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new FileListInProgramLocale(&dialog));
    // The detail list's date column as wide as a date with its time.
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        const QString longest =
            QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat);
        const int width = list->fontMetrics().horizontalAdvance(longest) + 4 * list->fontMetrics().averageCharWidth();
        if (list->header()->sectionSize(3) < width) list->header()->resizeSection(3, width);
    }
}

int ShowBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: icon = QMessageBox::Critical; break;
        case MB_ICONQUESTION: icon = QMessageBox::Question; break;
        case MB_ICONWARNING: icon = QMessageBox::Warning; break;
        case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
        default: break;
    }
    QMessageBox box(icon, Q(caption), Q(text), QMessageBox::NoButton, DialogParent());
    struct Choice {
        QMessageBox::StandardButton button;
        const char16_t* label;
        int result;
    };
    std::vector<Choice> choices;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            choices = {{QMessageBox::Ok, u"确定", IDOK}, {QMessageBox::Cancel, u"取消", IDCANCEL}};
            break;
        case MB_YESNO: choices = {{QMessageBox::Yes, u"是(&Y)", IDYES}, {QMessageBox::No, u"否(&N)", IDNO}}; break;
        case MB_YESNOCANCEL:
            choices = {{QMessageBox::Yes, u"是(&Y)", IDYES},
                       {QMessageBox::No, u"否(&N)", IDNO},
                       {QMessageBox::Cancel, u"取消", IDCANCEL}};
            break;
        default: choices = {{QMessageBox::Ok, u"确定", IDOK}}; break;
    }
    for (const auto& c : choices) box.addButton(c.button)->setText(QString::fromUtf16(c.label));
    // Esc answers Cancel where there is one, OK on a box with OK alone.
    if ((type & MB_TYPEMASK) == MB_OK) box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    auto* clicked = box.clickedButton();
    for (const auto& c : choices)
        if (clicked && clicked == box.button(c.button)) return c.result;
    return (type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
}

class QtDialogs final : public IUserDialogs {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override {
        int result = -1;
        InvokeOnUiThread([&] { result = ShowBox(text, caption, type); });
        if (result < 0) {
            // The user interface went away while the box waited to be shown.
            const UINT buttons = type & MB_TYPEMASK;
            result = buttons == MB_OK ? IDOK : (buttons == MB_YESNO ? IDNO : IDCANCEL);
        }
        return result;
    }

    bool BrowseForFolder(const std::wstring& title, std::wstring& folder) override {
        QString chosen;
        InvokeOnUiThread([&] {
            QFileDialog dialog(DialogParent(), Q(title), Q(folder));
            PrepareFileDialog(dialog);
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                chosen = dialog.selectedFiles().front();
        });
        if (chosen.isEmpty()) return false;
        folder = chosen.toStdWString();
        return true;
    }

    bool GetFileName(const FileDialogRequest& request, std::wstring& path) override {
        QString chosen;
        InvokeOnUiThread([&] {
            QFileDialog dialog(DialogParent());
            PrepareFileDialog(dialog);
            dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
            dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            if (!request.open && !(request.flags & OFN_OVERWRITEPROMPT))
                dialog.setOption(QFileDialog::DontConfirmOverwrite);
            const QString filters = QtFileFilter(request.filter);
            if (!filters.isEmpty()) dialog.setNameFilters(filters.split(QStringLiteral(";;")));
            if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
            const QString initial = Q(request.fileName);
            const qsizetype slash = initial.lastIndexOf(QLatin1Char('/'));
            if (slash >= 0) {
                dialog.setDirectory(initial.left(slash > 0 ? slash : 1));
                dialog.selectFile(initial.mid(slash + 1));
            } else if (!initial.isEmpty()) {
                dialog.selectFile(initial);
            }
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                chosen = dialog.selectedFiles().front();
        });
        if (chosen.isEmpty()) return false;
        path = chosen.toStdWString();
        return true;
    }

    bool ChooseColor(COLORREF initial, COLORREF& chosen) override {
        QColor color;
        InvokeOnUiThread([&] {
            color = QColorDialog::getColor(gdi::ToQColor(initial), DialogParent(), QString(),
                                           QColorDialog::DontUseNativeDialog);
        });
        if (!color.isValid()) return false;
        chosen = gdi::FromQColor(color);
        return true;
    }

    bool ShellExecute(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters) override {
        QUrl url;
        const QString target = Q(file);
        if (target.compare(QLatin1String("explorer"), Qt::CaseInsensitive) == 0) {
            url = QUrl::fromLocalFile(Q(parameters));
        } else if (target.contains(QLatin1String("://")) || target.startsWith(QLatin1String("mailto:"))) {
            url = QUrl(target);
        } else {
            url = QUrl::fromLocalFile(target);
        }
        (void)operation;  // "open" and the default action are the same here
        bool started = false;
        InvokeOnUiThread([&] { started = QDesktopServices::openUrl(url); });
        return started;
    }
};

}  // namespace

IUserDialogs& QtUserDialogs() {
    static QtDialogs dialogs;
    return dialogs;
}

QString QtFileFilter(const std::wstring& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}
