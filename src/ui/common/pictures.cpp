#include "ui/common/pictures.h"

#include <QImageReader>
#include <QPixmap>
#include <QString>

namespace vrq::ui {

QPixmap ResourcePixmap(const char* resource) {
    QImageReader reader(QString::fromLatin1(resource), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

}  // namespace vrq::ui
