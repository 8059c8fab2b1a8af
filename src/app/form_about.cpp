#include "app/form_about.h"

#include "windows/control_names.h"
#include "windows/twips.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

QIcon programIcon()
{
    // The images live in this static library, whose resource registration the linker would otherwise drop.
    Q_INIT_RESOURCE(icons);
    QIcon icon;
    for (int size : {16, 32, 256})
        icon.addFile(QStringLiteral(":/icons/vantrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

formAbout::formAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("formAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Vantrel Control"));
    setWindowIcon(programIcon());
    setFixedSize(twipsSize(5865, 3525));
    setModal(false);

    auto *picture = new QLabel(this);
    nameControl(picture, QStringLiteral("picIcon"), QStringLiteral("Program icon"));
    picture->setGeometry(twipsRect(240, 240, 540, 540));
    picture->setAutoFillBackground(true);
    QPalette grey = picture->palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    picture->setPalette(grey);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(programIcon().pixmap(32, 32));

    auto *title = new QLabel(QStringLiteral("Vantrel Test And Demo Application"), this);
    nameControl(title, QStringLiteral("Label1"));
    title->setGeometry(twipsRect(1080, 240, 4095, 225));

    auto *version = new QLabel(QStringLiteral("Version 3.0"), this);
    nameControl(version, QStringLiteral("lblVersion"));
    version->setGeometry(twipsRect(1080, 720, 4095, 225));

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    nameControl(ok, QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(4200, 2880, 1467, 345));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    ok->setFocus();
    // Enter, Escape and the close button all end in the dialog closing, which destroys it.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void formAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // An etched rule: a grey line with a white one just below it.
    QPainter painter(this);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(twipsPoint(225, 2430), twipsPoint(5657, 2430));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(twipsPoint(240, 2445), twipsPoint(5657, 2445));
}
