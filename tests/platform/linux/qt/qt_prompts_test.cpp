#include "platform/linux/qt/QtPrompts.h"
#include "platform/linux/qt/QtText.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace ldt;

namespace {

// Runs `act` on the modal dialog of type T once it is up.
template <typename T>
void WhenModal(std::function<void(T*)> act, int triesLeft = 200) {
    QTimer::singleShot(10, [act, triesLeft] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(dialog);
        } else if (triesLeft > 0) {
            WhenModal<T>(act, triesLeft - 1);
        }
    });
}

struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Notes what the next message box shows, then dismisses it.
void NoteNextBox(BoxSeen& seen) {
    WhenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->accept();
    });
}

void Answer(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class QtPromptsTest : public QObject {
    Q_OBJECT
private slots:
    // Errors are stop boxes captioned "Error"; file errors are warnings
    // captioned with the program's name. The text is shown as given.
    void errorBoxes_haveTheirCaptionAndIcon_andTheTextAsGiven() {
        const WString text = u"Machine data is not available.  File will not be saved. \n\rPlease press";
        const struct {
            void (QtPrompts::*show)(const WString&);
            QString title;
            QMessageBox::Icon icon;
        } cases[] = {{&QtPrompts::ShowError, QStringLiteral("Error"), QMessageBox::Critical},
                     {&QtPrompts::ShowFileError, QStringLiteral("Laser Diagnostic Tool"), QMessageBox::Warning}};
        for (const auto& c : cases) {
            QtPrompts prompts;
            BoxSeen seen;
            NoteNextBox(seen);
            (prompts.*c.show)(text);
            QCOMPARE(seen.title, c.title);
            QCOMPARE(seen.text, ToQString(text));
            QCOMPARE(seen.icon, c.icon);
            QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
    }

    void askSavePath_offersTheTextFilter_andReturnsThePathAsTyped() {
        QTemporaryDir dir;
        QtPrompts prompts(QFileDialog::DontUseNativeDialog);
        QStringList filters;
        const QString typed = dir.filePath(QStringLiteral("report"));
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            Answer(dialog, typed);
        });
        const auto path = prompts.AskSavePath();
        QCOMPARE(filters, QStringList{QString::fromUtf16(u"\u53C3\u6578\u6A94(*.txt)")});
        QVERIFY(path);
        QCOMPARE(ToQString(*path), typed);  // as typed: no suffix added
    }

    void askSavePath_asksBeforeReplacing_andCancelGivesNothing() {
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("r.txt"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QtPrompts prompts(QFileDialog::DontUseNativeDialog);
        bool asked = false;
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            WhenModal<QMessageBox>([&asked](QMessageBox* box) {
                asked = true;
                box->button(QMessageBox::No)->click();
                WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
            });
            Answer(dialog, existing);
        });
        QVERIFY(!prompts.AskSavePath());
        QVERIFY(asked);
    }
};

QTEST_MAIN(QtPromptsTest)
#include "qt_prompts_test.moc"
