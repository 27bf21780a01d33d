#pragma once

#include <QDialog>

#include <memory>

class QMovie;

namespace Ui {
class loadingScreen;
}

// The busy spinner shown over everything while a search for meters runs.
class loadingScreen : public QDialog
{
    Q_OBJECT

public:
    explicit loadingScreen(QWidget *parent = nullptr);
    ~loadingScreen() override;

private:
    std::unique_ptr<Ui::loadingScreen> ui;
    QMovie *movie;
};
