#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class languageScreen;
}

// The language chooser: tells the main window the language picked and closes.
class languageScreen : public QDialog
{
    Q_OBJECT

public:
    explicit languageScreen(QWidget *parent = nullptr);
    ~languageScreen() override;

signals:
    void changeLanguage(int language);

public slots:
    void setDarkMode(bool dark);
    void german();
    void english();

private:
    std::unique_ptr<Ui::languageScreen> ui;
};
