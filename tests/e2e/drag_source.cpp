// A drag source for the end-to-end test: a plain window that, when the
// mouse is pressed on it and moved, drags the files named on its command
// line as a file manager would (XDND with text/uri-list).
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget
{
public:
    explicit DragSource(const QList<QUrl> &urls)
        : m_urls(urls)
    {
        setWindowTitle(QStringLiteral("korvan-drag-source"));
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { m_press = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || (event->position().toPoint() - m_press).manhattanLength() < 4)
            return;
        auto *mime = new QMimeData;
        mime->setUrls(m_urls);
        auto *drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    }

private:
    QList<QUrl> m_urls;
    QPoint m_press;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    bool maximized = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--maximized")
            maximized = true;
        else
            urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    }
    DragSource source(urls);
    source.setGeometry(60, 300, 220, 200);
    // A maximised window shows whether the panel stays above it.
    if (maximized) {
        source.setWindowTitle(QStringLiteral("korvan-maximized"));
        source.showMaximized();
    } else {
        source.show();
    }
    return app.exec();
}
