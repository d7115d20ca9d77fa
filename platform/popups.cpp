// Modal pop-ups: messages, yes/no questions and the file selection dialog, each centred on the window it
// belongs to. In test mode a responder answers them instead of a person. Once the run is asked to end
// (SIGTERM, SIGINT), or in a console program, nobody is there to answer: open pop-ups are closed as
// cancelled, and new ones are answered at once, their text written to the error stream.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "internal.h"

namespace platform_detail {
namespace {

PopupResponder g_responder = nullptr;

// The window a pop-up belongs to, which it opens centred on: the dialog open now (a question asked from
// within a dialog), else the program's active window, else, when another program has the focus, the
// largest window the program shows (its main window), so a pop-up never lands in the screen's middle
// apart from its program.
QWidget* OwnerWindow() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    QWidget* owner = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->isMinimized() || w->windowType() == Qt::Popup ||
            w->windowType() == Qt::ToolTip)
            continue;
        const QSize size = w->size();
        if (!owner || size.width() * size.height() > owner->width() * owner->height()) owner = w;
    }
    return owner;
}

// Qt places a dialog with a parent centred on the parent's window once it knows its own size; this puts it
// there again after the window system has shown it, for window managers that place new windows themselves.
void KeepCentredOnOwner(QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [d = &dialog] {
        QWidget* parent = d->parentWidget();
        if (!parent) return;
        const QRect owner = parent->window()->frameGeometry();
        QRect frame = d->frameGeometry();
        frame.moveCenter(owner.center());
        d->move(frame.topLeft());
    });
}

int ShowMessageBox(std::string_view title, std::string_view message, bool question) {
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, QStr(title), QStr(message),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, OwnerWindow());
    box.setTextFormat(Qt::PlainText);  // blanks and line breaks as given, no markup
    KeepCentredOnOwner(box);
    RegisterOpenPopup(&box, true);
    const int answer = box.exec();
    RegisterOpenPopup(&box, false);
    return answer == QMessageBox::Yes ? 1 : 0;
}

// "*.equ;*.txt" -> {"*.equ", "*.txt"}
QStringList Patterns(std::string_view fileTypeList) {
    QStringList patterns;
    for (const QString& p : QStr(fileTypeList).split(';', Qt::SkipEmptyParts)) patterns << p.trimmed();
    return patterns;
}

// The extension the first pattern asks for ("equ" of "*.equ"), empty when it names none.
QString RequiredExtension(std::string_view fileTypeList) {
    const QStringList patterns = Patterns(fileTypeList);
    if (patterns.isEmpty()) return {};
    const QString& p = patterns.first();
    const qsizetype dot = p.lastIndexOf('.');
    const QString ext = dot < 0 ? QString() : p.mid(dot + 1);
    return ext.contains('*') || ext.contains('?') ? QString() : ext;
}

// What the button label asks of the dialog: Load picks an existing file (a name that does not exist is
// refused by the dialog itself); Save takes a new name too and asks before it replaces a file; OK and
// Select take any name and leave an existing one to the program's own question.
void SetDialogMode(QFileDialog& dialog, int buttonLabel) {
    switch (buttonLabel) {
        case VAL_LOAD_BUTTON:
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setLabelText(QFileDialog::Accept, "Load");
            break;
        case VAL_SAVE_BUTTON:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setLabelText(QFileDialog::Accept, "Save");
            break;
        default:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
            dialog.setLabelText(QFileDialog::Accept, buttonLabel == VAL_OK_BUTTON ? "OK" : "Select");
            break;
    }
}

QString RunFileDialog(const PopupRequest& r) {
    QFileDialog dialog(OwnerWindow(), QString::fromStdString(r.title), QString::fromStdString(r.directory));
    // Wide enough for the size, type and date of the files beside their names.
    dialog.resize(QSize(800, 500).boundedTo(dialog.screen()->availableGeometry().size()));
    KeepCentredOnOwner(dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    SetDialogMode(dialog, r.buttonLabel);
    dialog.setOption(QFileDialog::ReadOnly, !r.allowMakeDirectory);
    // A typed name without the extension gets it before the dialog looks whether the file exists.
    if (const QString ext = RequiredExtension(r.filter); r.restrictExtension && !ext.isEmpty())
        dialog.setDefaultSuffix(ext);
    QStringList filters;
    for (const QString& p : Patterns(r.filter)) filters << p;
    filters << "*";
    dialog.setNameFilters(filters);
    if (!r.text.empty()) dialog.selectFile(QString::fromStdString(r.text));
    RegisterOpenPopup(&dialog, true);
    QString chosen;
    for (;;) {
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            chosen = dialog.selectedFiles().first();
            break;
        }
        if (r.allowCancel || TerminationRequested()) break;
    }
    RegisterOpenPopup(&dialog, false);
    return chosen;
}

}  // namespace

void SetPopupResponder(PopupResponder responder) {
    g_responder = responder;
}

}  // namespace platform_detail

using namespace platform_detail;

namespace {

int AskMessage(int kind, std::string_view title, std::string_view message) {
    if (TerminationRequested() || (!g_responder && !HasWindows())) {
        std::fprintf(stderr, "%.*s: %.*s\n", int(title.size()), title.data(), int(message.size()),
                     message.data());
        return 0;
    }
    if (g_responder) {
        PopupRequest r{kind, std::string(title), std::string(message), {}, {}, 0, 0, 0, 0, 0};
        return g_responder(r).result;
    }
    return ShowMessageBox(title, message, kind == 1);
}

}  // namespace

int MessagePopup(std::string_view title, std::string_view message) {
    AskMessage(0, title, message);
    return 0;
}

int ConfirmPopup(std::string_view title, std::string_view message) {
    return AskMessage(1, title, message) ? 1 : 0;
}

int FileSelectPopup(std::string_view defaultDirectory, std::string_view defaultFileName,
                    std::string_view fileTypeList, std::string_view title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel, int allowMakeDirectory,
                    std::string& pathName) {
    PopupRequest r{2,
                   std::string(title),
                   std::string(defaultFileName),
                   std::string(defaultDirectory),
                   std::string(fileTypeList),
                   buttonLabel,
                   restrictDirectory,
                   restrictExtension,
                   allowCancel,
                   allowMakeDirectory};
    QString path;
    int result = VAL_NO_FILE_SELECTED;
    if (TerminationRequested() || (!g_responder && !HasWindows())) {
        pathName.clear();
        return VAL_NO_FILE_SELECTED;
    }
    if (g_responder) {
        const PopupAnswer a = g_responder(r);
        result = a.result;
        path = QString::fromStdString(a.path);
    } else {
        path = RunFileDialog(r);
        if (!path.isEmpty())
            result = QFileInfo::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    }
    if (result <= VAL_NO_FILE_SELECTED || path.isEmpty()) {
        pathName.clear();
        return result < 0 ? result : VAL_NO_FILE_SELECTED;
    }
    const QString ext = RequiredExtension(fileTypeList);
    if (restrictExtension && !ext.isEmpty() &&
        QFileInfo(path).suffix().compare(ext, Qt::CaseInsensitive) != 0) {
        path += '.' + ext;
        if (!g_responder)
            result = QFileInfo::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    }
    pathName = path.toStdString();
    return result;
}
