#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include <memory>

namespace Ui {
class settingsScreen;
}

// The settings menu: hands theme, animation and language changes to the main window, and
// shows the maker's imprint, contact, privacy and about boxes.
class settingsScreen : public QDialog
{
    Q_OBJECT

public:
    explicit settingsScreen(int language, QWidget *parent = nullptr);
    ~settingsScreen() override;

    // Written by the main window right after setDarkModeAndTovik(); a toggle sends the opposite.
    bool isDarkMode = false;
    bool isTovik = false;

signals:
    void changeDarkMode(bool dark);
    void changeTovik(bool on);
    void showLanguageScreen();

public slots:
    void setDarkModeAndTovik(bool dark, bool animation);
    void darkMode();
    void tovik();
    void impressum();
    void kontakt();
    void datenschutz();
    void lizenz();
    void language();

private:
    void showInformation(
        const QString &text, const QString &informativeText, Qt::TextFormat format);

    std::unique_ptr<Ui::settingsScreen> ui;
    QList<QStringList> texts;
    // Not called language: that name belongs to the slot that opens the chooser.
    int languageIndex;
};
