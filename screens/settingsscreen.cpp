#include "screens/settingsscreen.h"
#include "ui_settingsscreen.h"

#include "ui/narrowfont.h"
#include "ui/theme.h"

#include <QMessageBox>

namespace {

// The maker's details, the same in both languages.
constexpr char site[] = "https://www.orvu-messtechnik.de";
constexpr char generalHotline[] = "+49 711 40893-300";
constexpr char technicalHotline[] = "+49 711 40893-320";
constexpr char copyright[] = "Copyright © 2026 Orvu Messtechnik GmbH";
constexpr char version[] = "Version " KALVION_VERSION;

// A lead-in, a link to a page of the maker's site, and the closing full stop.
QString linked(const QString &leadIn, const QString &linkText, const char *path)
{
    return leadIn + "<a href='" + site + path + "'>" + linkText + "</a>.";
}

} // namespace

settingsScreen::settingsScreen(int language, QWidget *parent)
    : QDialog(parent), ui(new Ui::settingsScreen), languageIndex(language == 1 ? 1 : 0)
{
    const QStringList german = {
        "Auf Dark Mode wechseln",
        "Auf Light Mode wechseln",
        "Startup Animation ausblenden",
        "Startup Animation einblenden",
        "Impressum",
        "Kontakt",
        "Datenschutz",
        "Sprache wechseln",
        linked("Den Hyperlink zum aktuellsten Impressum finden Sie ", "hier", "/impressum/"),
        QString("Allgemeine Hotline: ") + generalHotline
            + " <br> Technische Hotline: " + technicalHotline,
        linked("Den Hyperlink zu allen relevanten Ansprechpartnern finden Sie ", "hier",
            "/kontakt/ansprechpartner/"),
        linked("Den Hyperlink zur aktuell gültigen Datenschutzerklärung finden Sie ", "hier",
            "/datenschutz-app/"),
    };
    const QStringList english = {
        "Switch to dark mode",
        "Switch to light mode",
        "Disable startup animation",
        "Enable startup animation",
        "Imprint",
        "Contact",
        "Data privacy",
        "Change language",
        linked("You can find the current imprint ", "here", "/impressum/"),
        QString("General Hotline: ") + generalHotline
            + " <br> Technical Hotline: " + technicalHotline,
        linked("You can find all relevant contacts ", "here", "/kontakt/ansprechpartner/"),
        linked("You can find the current data policy ", "here", "/datenschutz-app/"),
    };
    texts = { german, english };

    ui->setupUi(this);
    setWindowTitle("KalvionApp");
    setFixedSize(400, 448);
    // The animation captions would be clipped in the usual desktop fonts; all seven stay alike.
    for (QPushButton *button : findChildren<QPushButton *>())
        useNarrowFont(button);
    connect(ui->darkModeButton, &QPushButton::clicked, this, &settingsScreen::darkMode);
    connect(ui->tovikButton, &QPushButton::clicked, this, &settingsScreen::tovik);
    connect(ui->impressumButton, &QPushButton::clicked, this, &settingsScreen::impressum);
    connect(ui->kontaktButton, &QPushButton::clicked, this, &settingsScreen::kontakt);
    connect(ui->datenschutzButton, &QPushButton::clicked, this, &settingsScreen::datenschutz);
    connect(ui->lizenzButton, &QPushButton::clicked, this, &settingsScreen::lizenz);
    connect(ui->languageButton, &QPushButton::clicked, this, &settingsScreen::language);
    ui->impressumButton->setText(texts[languageIndex][4]);
    ui->kontaktButton->setText(texts[languageIndex][5]);
    ui->datenschutzButton->setText(texts[languageIndex][6]);
    ui->languageButton->setText(texts[languageIndex][7]);
}

settingsScreen::~settingsScreen() = default;

void settingsScreen::setDarkModeAndTovik(bool dark, bool animation)
{
    // Each caption names what pressing the button will switch to.
    ui->darkModeButton->setText(texts[languageIndex][dark ? 1 : 0]);
    setStyleSheet(Theme::pageStyle(dark));
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setStyleSheet(Theme::buttonStyle(dark));
    ui->tovikButton->setText(texts[languageIndex][animation ? 2 : 3]);
}

void settingsScreen::darkMode()
{
    emit changeDarkMode(!isDarkMode);
    close();
}

void settingsScreen::tovik()
{
    emit changeTovik(!isTovik);
    close();
}

void settingsScreen::impressum()
{
    showInformation(texts[languageIndex][8], QString(), Qt::RichText);
}

void settingsScreen::kontakt()
{
    showInformation(texts[languageIndex][9], texts[languageIndex][10], Qt::RichText);
}

void settingsScreen::datenschutz()
{
    showInformation(texts[languageIndex][11], QString(), Qt::RichText);
}

void settingsScreen::lizenz()
{
    showInformation(copyright, version, Qt::AutoText);
}

void settingsScreen::language()
{
    close();
    emit showLanguageScreen();
}

void settingsScreen::showInformation(
    const QString &text, const QString &informativeText, Qt::TextFormat format)
{
    // A top-level box, white by the application's style, stands in for the screen meanwhile.
    hide();
    QMessageBox box;
    box.setTextFormat(format);
    box.setText(text);
    box.setInformativeText(informativeText);
    box.exec();
    show();
}
