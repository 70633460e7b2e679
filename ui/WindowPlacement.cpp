#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <QWidget>
#include <algorithm>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniSections.h"
#include "ui/QtText.h"

namespace hv {

namespace {

QPointer<QWidget> gMainWindow;

TRect ToRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

TRect Primary() {
    const std::vector<TRect> screens = AvailableScreens();
    return screens.empty() ? TRect{0, 0, 1024, 768} : screens.front();
}

// The name the section is made from; a window without one is named in a message.
std::string SectionOf(const QWidget* w) {
    const std::string name = w->objectName().toStdString();
    if (name.empty()) {
        std::string cls = w->metaObject()->className();
        if (size_t colon = cls.rfind(':'); colon != std::string::npos) cls = cls.substr(colon + 1);
        ShowError("Нет имени формы:"_a + std::string("\r\n\"") + RawText(cls) + "\"");
        return {};
    }
    return PlacementSection(name);
}

enum class Kept { None, Header, ListView, TreeView, Splitter, Grid };

Kept KindOf(const QWidget* w) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) return Kept::None;
    if (auto* h = qobject_cast<const QHeaderView*>(w))
        return qobject_cast<const QAbstractItemView*>(h->parentWidget()) ? Kept::None : Kept::Header;
    if (qobject_cast<const QTableView*>(w)) return Kept::Grid;
    if (qobject_cast<const QTreeView*>(w))
        return name.startsWith(QLatin1String("tv")) ? Kept::TreeView : Kept::ListView;
    if (qobject_cast<const QSplitter*>(w)) return Kept::Splitter;
    return Kept::None;
}

std::vector<int> Sections(const QHeaderView* h) {
    std::vector<int> out;
    for (int i = 0; i < h->count(); ++i) out.push_back(h->sectionSize(i));
    return out;
}

std::string LayoutOf(QWidget* w, Kept kind) {
    switch (kind) {
        case Kept::Header:
            return LayoutText(Sections(static_cast<QHeaderView*>(w)));
        case Kept::ListView:
            return LayoutText(Sections(static_cast<QTreeView*>(w)->header()));
        case Kept::Grid: {
            auto* g = static_cast<QTableView*>(w);
            std::vector<int> n{std::max(30, g->height()), std::max(30, g->width())};
            for (int i = 0; g->model() && i < g->model()->columnCount(); ++i)
                n.push_back(g->columnWidth(i));
            return LayoutText(n);
        }
        case Kept::Splitter: {
            auto* s = static_cast<QSplitter*>(w);
            std::vector<int> n;
            for (int i = 1; i < s->count(); ++i) {
                n.push_back(s->handle(i)->x());
                n.push_back(s->handle(i)->y());
            }
            return LayoutText(n);
        }
        default:
            return {};
    }
}

void ApplySections(QHeaderView* h, const std::vector<int>& widths) {
    // A stretched last column was saved at the width of the window then; set
    // again in a smaller window it would push a scroll bar under the list.
    const int n = h->count() - (h->stretchLastSection() ? 1 : 0);
    for (int i = 0; i < n && i < static_cast<int>(widths.size()); ++i)
        h->resizeSection(i, widths[i]);
}

// Handle positions into the sizes of the widgets beside them; false when the
// positions are not in order.
bool ApplySplitter(QSplitter* s, const std::vector<int>& numbers) {
    const bool across = s->orientation() == Qt::Horizontal;
    const int total = across ? s->width() : s->height();
    QList<int> sizes;
    int start = 0;
    for (int i = 1; i < s->count(); ++i) {
        if (size_t(2 * i) > numbers.size()) break;
        const int pos = numbers[2 * (i - 1) + (across ? 0 : 1)];
        if (pos < start) return false;
        sizes.push_back(pos - start);
        start = pos + s->handleWidth();
    }
    if (sizes.isEmpty()) return numbers.empty();
    while (sizes.size() < s->count()) sizes.push_back(std::max(0, total - start));
    s->setSizes(sizes);
    return true;
}

void RestoreChild(QWidget* w, Kept kind, const std::string& text, const TRect& screen) {
    switch (kind) {
        case Kept::Header:
            if (auto n = ParseLayoutText(text, screen.Width))
                ApplySections(static_cast<QHeaderView*>(w), *n);
            break;
        case Kept::ListView:
            if (auto n = ParseLayoutText(text, screen.Width))
                ApplySections(static_cast<QTreeView*>(w)->header(), *n);
            break;
        case Kept::Grid: {
            auto n = ParseLayoutText(text, std::max(screen.Width, screen.Height));
            if (!n || n->size() < 2 || (*n)[0] > screen.Height || (*n)[1] > screen.Width) break;
            auto* g = static_cast<QTableView*>(w);
            g->resize(std::max(30, (*n)[1]), std::max(30, (*n)[0]));
            for (size_t i = 2; i < n->size() && g->model() && int(i - 2) < g->model()->columnCount(); ++i)
                g->setColumnWidth(static_cast<int>(i - 2), (*n)[i]);
            break;
        }
        case Kept::Splitter: {
            auto* s = static_cast<QSplitter*>(w);
            const int extent = std::max(s->width(), s->height());
            auto n = ParseLayoutText(text, std::max(extent, std::max(screen.Width, screen.Height)));
            bool ok = n.has_value();
            if (ok) {
                for (size_t i = 0; i + 1 < n->size(); i += 2)
                    if ((*n)[i] > screen.Width || (*n)[i + 1] > screen.Height) ok = false;
            }
            if (!ok || !ApplySplitter(s, *n)) ShowError("Splitter Rest Error");
            break;
        }
        default:
            break;
    }
}

int StateOf(const QWidget* w) {
    if (w->windowState() & Qt::WindowMinimized) return 1;
    if (w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
    return 0;
}

}  // namespace

void SetMainWindow(QWidget* window) { gMainWindow = window; }
QWidget* MainWindow() { return gMainWindow; }

int BorderStyleOf(const QWidget* w) {
    const Qt::WindowFlags f = w->windowFlags();
    const bool fixed = w->minimumSize() == w->maximumSize();
    if (f & Qt::FramelessWindowHint) return 0;
    if ((f & Qt::WindowType_Mask) == Qt::Tool) return fixed ? 4 : 5;
    if ((f & Qt::WindowType_Mask) == Qt::Dialog && fixed) return 3;
    return fixed ? 1 : 2;
}

std::vector<TRect> AvailableScreens() {
    std::vector<TRect> out;
    if (QScreen* p = QGuiApplication::primaryScreen()) out.push_back(ToRect(p->availableGeometry()));
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) out.push_back(ToRect(s->availableGeometry()));
    return out;
}

void SavePlacement(QWidget* w) {
    if (!w) return;
    const std::string section = SectionOf(w);
    if (section.empty()) return;
    TIniFile& ini = SettingsIni();
    TPlacement p = ReadPlacement(ini, section);
    if (!p.HasSize) {
        const TRect s = Primary();
        p.Bounds = {50, 100, s.Width / 2, s.Height / 2};
    }
    if (StateOf(w) == 0) p.Bounds = {w->x(), w->y(), w->width(), w->height()};
    p.WindowState = StateOf(w);
    p.BorderStyle = BorderStyleOf(w);
    p.Visible = w->isVisible();
    ini.BeginUpdate();
    WritePlacement(ini, section, p, w == MainWindow());
    for (QWidget* c : w->findChildren<QWidget*>()) {
        Kept kind = KindOf(c);
        if (kind != Kept::None) ini.WriteQuoted(section, c->objectName().toStdString(), LayoutOf(c, kind));
    }
    ini.EndUpdate();
}

void RestorePlacement(QWidget* w) {
    if (!w) return;
    const std::string section = SectionOf(w);
    if (section.empty()) return;
    const TIniFile& ini = SettingsIni();
    const TPlacement p = ReadPlacement(ini, section);
    const TRect screen = Primary();
    w->setWindowState(Qt::WindowNoState);
    const int own = BorderStyleOf(w);
    const bool sized = p.HasSize && p.BorderStyle != 0 && p.BorderStyle != 3 && own != 0 && own != 3;
    const TRect current{w->x(), w->y(), w->width(), w->height()};
    if (p.HasData) {
        TRect stored = p.Bounds;
        if (!sized) stored.Width = stored.Height = 0;
        const TRect r = PlaceOnScreens(stored, current, AvailableScreens());
        if (sized) w->resize(r.Width, r.Height);
        w->move(r.Left, r.Top);
        if (p.WindowState == 2)
            w->setWindowState(Qt::WindowMaximized);
        else if (p.WindowState == 1)
            w->setWindowState(Qt::WindowMinimized);
    } else {
        if (sized) {
            const TRect r = PlaceOnScreens({0, 0, p.Bounds.Width, p.Bounds.Height}, current, {screen});
            w->resize(r.Width, r.Height);
        }
        w->move(screen.Left + (screen.Width - w->width()) / 2,
                screen.Top + (screen.Height - w->height()) / 2);
        if (w == MainWindow()) w->setWindowState(Qt::WindowMaximized);
    }
    if (w->layout()) w->layout()->activate();
    for (QWidget* c : w->findChildren<QWidget*>()) {
        Kept kind = KindOf(c);
        if (kind == Kept::None || kind == Kept::TreeView) continue;
        const std::string key = c->objectName().toStdString();
        if (!ini.ValueExists(section, key)) continue;
        RestoreChild(c, kind, ini.ReadUnquoted(section, key, ""), screen);
    }
}

}  // namespace hv
