#include "ui/main/design.h"

#include <QEvent>
#include <QLineEdit>
#include <QPalette>
#include <QTabWidget>

#include <algorithm>

namespace vrq::ui {

QLineEdit* HexBox(QWidget* parent, const QString& text) {
    auto* box = Owned<QLineEdit>(parent, text);
    box->setMaxLength(2);
    return box;
}

void ShowValuesOnly(QLineEdit* box) {
    box->setEnabled(false);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     palette.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     palette.color(QPalette::Active, QPalette::Text));
    box->setPalette(palette);
}

QString Indexed(const char* array, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index);
}

Designer::Designer(QTabWidget& tabs) : tabs_(tabs) {
    for (int i = 0; i < tabs.count(); ++i) {
        tabs.widget(i)->installEventFilter(this);
    }
    if (tabs.count() > 0) {
        tabs.widget(0)->parentWidget()->installEventFilter(this);  // the stack of the pages
    }
}

void Designer::Name(QWidget* control, const QString& name, int tabIndex) {
    control->setObjectName(name);
    control->setProperty("tabIndex", tabIndex);
    tabIndices_.emplace_back(tabIndex, control);
}

// The old tabbed control measured its pages' places from its own corner, tab strip included;
// a QTabWidget page starts below its tab strip, so each place is moved by the page's offset
// whenever the pages move.
void Designer::PlaceOnPage(QWidget* control, QRect tabPlace) {
    pagePlaces_.push_back({control, tabPlace});
    control->setGeometry(tabPlace);
}

void Designer::PlaceTabPageControls() {
    for (const PagePlace& place : pagePlaces_) {
        const QPoint pageOffset = place.control->parentWidget()->mapTo(&tabs_, QPoint(0, 0));
        place.control->setGeometry(place.tabPlace.translated(-pageOffset));
    }
}

bool Designer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        PlaceTabPageControls();
    }
    return QObject::eventFilter(watched, event);
}

void Designer::SetTabOrder() {
    std::stable_sort(tabIndices_.begin(), tabIndices_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QWidget* previous = nullptr;
    for (const auto& [tabIndex, control] : tabIndices_) {
        if ((control->focusPolicy() & Qt::TabFocus) == 0) {
            continue;  // labels, frames and the logo take no focus
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

}  // namespace vrq::ui
