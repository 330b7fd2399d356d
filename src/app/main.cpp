// The program Quillet. Until the contact list window exists it opens a
// placeholder main window.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Zarvo Cheque Printing System");
    auto* label = new QLabel("Quillet is being built: the contact list is not available yet.");
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.resize(800, 500);
    window.show();
    return app.exec();
}
