// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/LocalPath.h"

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

class DropHint;
class QMimeData;
class QWidget;

/// Makes a screen a drop target for files: a drag carrying URLs shows the screen's DropHint
/// while it hovers, and every drop is accepted. Each dropped URL is resolved and expanded on
/// a worker thread, one task per URL, and the resulting items are handed to the screen on the
/// UI thread; URLs resolve independently, so items of different URLs may arrive in any order
/// (those of one URL stay together, in order). Items that arrive during one turn of the event
/// loop are handed over in one call, so a drop of thousands of files costs the screen one
/// append rather than thousands. A URL that is not a local file gives nothing.
///
/// UI thread only, apart from the expand function. Results of a drop whose handler is gone by
/// the time they arrive are dropped.
class DropHandlerBase : public QObject {
    Q_OBJECT

public:
    /// Becomes `screen`'s drop target (through an event filter) and puts a hidden DropHint on
    /// it. Owned by the screen.
    explicit DropHandlerBase(QWidget* screen);

    /// What a drop does: resolves every URL of `data` in the background. Returns at once.
    void handleDrop(const QMimeData& data);
    /// The same for URLs that come from elsewhere than a drop (a file dialog).
    void handleUrls(const QList<QUrl>& urls);

    DropHint& hint() { return *m_hint; }
    /// A drag with URLs hovers over the screen.
    bool targeted() const { return m_targeted; }
    /// URLs dropped whose items have not arrived yet.
    int pending() const { return m_pending; }

signals:
    void targetedChanged(bool targeted);
    /// The last pending URL has been handled.
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Starts the background work for one URL; it must end with resolved() on the UI thread
    /// (see DropHandler), which may count several URLs at once.
    virtual void resolve(const QUrl& url) = 0;
    void resolved(int urls);

private:
    void setTargeted(bool targeted);

    DropHint* m_hint;
    bool m_targeted = false;
    int m_pending = 0;
};

/// The typed layer: `expand` turns one dropped local path into the screen's items (for
/// example a folder into all its files); it runs on a worker thread and must be safe there.
/// `accept` receives each URL's non-empty item list on the UI thread.
template <class Item> class DropHandler : public DropHandlerBase {
public:
    using Expand = std::function<std::vector<Item>(const std::filesystem::path& dropped)>;
    using Accept = std::function<void(const std::vector<Item>& items)>;

    DropHandler(QWidget* screen, Expand expand, Accept accept)
        : DropHandlerBase(screen), m_expand(std::move(expand)), m_accept(std::move(accept)) {}

protected:
    void resolve(const QUrl& url) override {
        // The result travels through the application object and finds the handler again by
        // QPointer on the UI thread: a worker never holds a raw pointer to the handler.
        QPointer<DropHandler> self(this);
        (void)QtConcurrent::run([self, url, expand = m_expand] {
            std::vector<Item> items;
            if (url.isLocalFile()) {
                items = expand(LocalPath::fromQString(url.toLocalFile()));
            }
            if (auto* app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    app,
                    [self, items = std::move(items)]() mutable { deliver(self, std::move(items)); },
                    Qt::QueuedConnection);
            }
        });
    }

private:
    static void deliver(const QPointer<DropHandler>& self, std::vector<Item> items) {
        if (!self) {
            return;
        }
        self->m_arrived.insert(self->m_arrived.end(), std::make_move_iterator(items.begin()),
                               std::make_move_iterator(items.end()));
        ++self->m_arrivedUrls;
        if (!self->m_handOverPosted) {
            // Queued behind the deliveries already posted, so it takes them all.
            self->m_handOverPosted = true;
            QMetaObject::invokeMethod(
                self.data(), [handler = self.data()] { handler->handOver(); },
                Qt::QueuedConnection);
        }
    }

    void handOver() {
        m_handOverPosted = false;
        std::vector<Item> items;
        items.swap(m_arrived);
        const int urls = std::exchange(m_arrivedUrls, 0);
        QPointer<DropHandler> self(this);
        if (!items.empty()) {
            m_accept(items);
        }
        if (self) {
            resolved(urls);
        }
    }

    Expand m_expand;
    Accept m_accept;
    std::vector<Item> m_arrived; // resolved, not yet handed to the screen
    int m_arrivedUrls = 0;
    bool m_handOverPosted = false;
};
