#include "media/picture_seam.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPixmap>
#include <QThread>

#include <thread>

namespace {

// Stands in for a label: records the pixmaps set on it and the thread that set them.
class PictureSink : public QObject {
    Q_OBJECT
    Q_PROPERTY(QPixmap pixmap READ pixmap WRITE setPixmap)
public:
    QPixmap pixmap() const { return last; }
    void setPixmap(const QPixmap& p) {
        last = p;
        ++sets;
        setOn = QThread::currentThread();
    }
    QPixmap last;
    int sets = 0;
    QThread* setOn = nullptr;
};

QImage solid(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(Qt::red);
    return image;
}

TEST(PictureSeam, APictureFromAWorkerIsSetOnTheLabelsThread) {
    PictureSink sink;
    std::thread worker([&] { handPicture(&sink, solid(180, 122)); });
    worker.join();
    EXPECT_EQ(sink.sets, 0) << "never set from the worker itself";
    QCoreApplication::processEvents();
    ASSERT_EQ(sink.sets, 1);
    EXPECT_EQ(sink.setOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(sink.last.size(), QSize(180, 122));
}

TEST(PictureSeam, PicturesArriveInTheOrderTheyWereHanded) {
    PictureSink sink;
    std::thread worker([&] {
        handPicture(&sink, solid(10, 10));
        handResourcePicture(&sink, ":/no/such/picture.png");
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.sets, 2);
    EXPECT_TRUE(sink.last.isNull()) << "the later request wins";
}

TEST(PictureSeam, ALabelGoneBeforeDeliveryIsLeftAlone) {
    auto* sink = new PictureSink;
    std::thread worker([&] { handPicture(sink, solid(8, 8)); });
    worker.join();
    delete sink;
    QCoreApplication::processEvents();
    handPicture(nullptr, solid(8, 8));
    handResourcePicture(nullptr, ":/x.png");
    QCoreApplication::processEvents();
    SUCCEED();
}

}  // namespace

#include "picture_seam_test.moc"
