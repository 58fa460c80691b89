#include "media/picture_seam.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPixmap>
#include <QThread>

#include <thread>

namespace {

// Stands in for a label: records the pixmaps set on it and the thread that set them. A sink
// may also count its sets in a tally that outlives it, so that a set after its deletion shows.
class PictureSink : public QObject {
    Q_OBJECT
    Q_PROPERTY(QPixmap pixmap READ pixmap WRITE setPixmap)
public:
    explicit PictureSink(int* tally = nullptr) : tally(tally) {}
    QPixmap pixmap() const { return last; }
    void setPixmap(const QPixmap& p) {
        last = p;
        ++sets;
        if (tally) ++*tally;
        setOn = QThread::currentThread();
    }
    QPixmap last;
    int sets = 0;
    int* tally;
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
    int setsOnGone = 0;
    auto* gone = new PictureSink(&setsOnGone);
    PictureSink living;
    std::thread worker([&] {
        handPicture(gone, solid(8, 8));
        handResourcePicture(gone, ":/x.png");
        handPicture(&living, solid(6, 6));
        handPicture(nullptr, solid(8, 8));
        handResourcePicture(nullptr, ":/x.png");
    });
    worker.join();
    delete gone;
    QCoreApplication::processEvents();
    EXPECT_EQ(setsOnGone, 0) << "nothing is set on a label once it is gone";
    EXPECT_EQ(living.sets, 1) << "the picture handed beside it still arrives";
    EXPECT_EQ(living.last.size(), QSize(6, 6));
}

}  // namespace

#include "picture_seam_test.moc"
