// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/DropHandler.h"

#include "Views/DropHint.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <algorithm>

DropHandlerBase::DropHandlerBase(QWidget* screen) : QObject(screen), m_hint(new DropHint(screen)) {
    screen->setAcceptDrops(true);
    screen->installEventFilter(this);
}

void DropHandlerBase::handleDrop(const QMimeData& data) {
    handleUrls(data.urls());
}

void DropHandlerBase::handleUrls(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        ++m_pending;
        resolve(url);
    }
}

void DropHandlerBase::resolved(int urls) {
    if (m_pending > 0 && urls > 0) {
        m_pending = std::max(0, m_pending - urls);
        if (m_pending == 0) {
            emit settled();
        }
    }
}

void DropHandlerBase::setTargeted(bool targeted) {
    if (targeted == m_targeted) {
        return;
    }
    m_targeted = targeted;
    m_hint->setVisible(targeted);
    emit targetedChanged(targeted);
}

bool DropHandlerBase::eventFilter(QObject* watched, QEvent* event) {
    if (watched != parent()) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (enter->mimeData() && enter->mimeData()->hasUrls()) {
            enter->acceptProposedAction();
            setTargeted(true);
        }
        return true;
    }
    case QEvent::DragMove:
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    case QEvent::DragLeave:
        setTargeted(false);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        drop->acceptProposedAction();
        setTargeted(false);
        if (drop->mimeData()) {
            handleDrop(*drop->mimeData());
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
