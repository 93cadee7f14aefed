#include "cpageset.h"

#include "cdialogs.h"
#include "csetting.h"

#include <QFontDatabase>
#include <QMap>

namespace {

// The paper sizes offered, with the numbers setting.xml keeps for them.
const struct
{
    const char *name;
    int number;
} g_papers[] = {{"A4", 0}, {"B5", 1}, {"A3", 8}, {"Letter", 2}, {"Legal", 3}, {"Executive", 4}};

} // namespace

CPageSet::CPageSet(QWidget *parent)
    : QDialog(parent)
{
    ui.setupUi(this);

    QMap<QString, QString> settings;
    {
        CSetting setting;
        setting.init();
        setting.getPageSet(settings);
    }

    ui.LE_Left->setText(settings.value(QStringLiteral("left")));
    ui.LE_Right->setText(settings.value(QStringLiteral("right")));
    ui.LE_Top->setText(settings.value(QStringLiteral("top")));
    ui.LE_Bottom->setText(settings.value(QStringLiteral("bottom")));

    for (const auto &paper : g_papers)
        ui.CB_Size->addItem(QString::fromLatin1(paper.name), paper.number);

    if (CSetting::number(settings.value(QStringLiteral("orientation"))) == 0)
        ui.RB_Ora_P->setChecked(true);

    // A number the list does not know shows A4, the first entry.
    const int index = ui.CB_Size->findData(CSetting::number(settings.value(QStringLiteral("pagesize"))));
    ui.CB_Size->setCurrentIndex(index < 0 ? 0 : index);

    const QString font = settings.value(QStringLiteral("font"));
    showFont(font, CSetting::font(font, ui.lFont->font()));
}

CPageSet::~CPageSet() = default;

void CPageSet::on_okButton_clicked()
{
    QMap<QString, QString> settings;
    settings.insert(QStringLiteral("left"), ui.LE_Left->text());
    settings.insert(QStringLiteral("right"), ui.LE_Right->text());
    settings.insert(QStringLiteral("top"), ui.LE_Top->text());
    settings.insert(QStringLiteral("bottom"), ui.LE_Bottom->text());
    settings.insert(QStringLiteral("pagesize"), QString::number(ui.CB_Size->currentData().toInt()));
    settings.insert(QStringLiteral("font"), m_fontKey);
    settings.insert(
        QStringLiteral("orientation"), ui.RB_Ora_P->isChecked() ? QStringLiteral("0") : QStringLiteral("1"));

    CSetting setting;
    setting.init();
    setting.setPageSet(settings);
}

void CPageSet::on_toolButton_clicked()
{
    // The font dialog starts from the font the label shows, which is the stored setting.
    bool ok = false;
    const QFont font = CDialogs::instance()->getFont(&ok, ui.lFont->font(), this);
    if (!ok)
        return;
    showFont(font.key(), font);
}

void CPageSet::showFont(const QString &key, const QFont &font)
{
    m_fontKey = key;
    ui.lFont->setFont(font);
    ui.lFont->setToolTip(key);
    // A value the font rule cannot read (it then gives back a font sized in pixels here) is shown as
    // it stands.
    QFont pixelSized;
    pixelSized.setPixelSize(1);
    if (CSetting::font(key, pixelSized).pointSize() <= 0) {
        ui.lFont->setText(key);
        return;
    }
    // The key text holds the family in lower case: show it as the font database spells it.
    QString family = font.family();
    const QStringList families = QFontDatabase::families();
    for (const QString &known : families) {
        if (known.compare(family, Qt::CaseInsensitive) == 0) {
            family = known;
            break;
        }
    }
    ui.lFont->setText(tr("%1, %2 pt").arg(family).arg(font.pointSize()));
}
