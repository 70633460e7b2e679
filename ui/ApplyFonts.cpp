#include "ui/ApplyFonts.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>

#include "ui/Label3D.h"
#include "ui/QtText.h"

namespace hv {

namespace {

// Metric-compatible families first, then the Cyrillic sans every set-up has.
void InstallSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
        QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans"});
        QFont::insertSubstitutions("Times New Roman", {"Liberation Serif", "DejaVu Serif"});
        QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
        return true;
    }();
    (void)done;
}

const TFontId kSuffixed[] = {TFontId::MainFont,   TFontId::LabelFont,  TFontId::EditFont,
                             TFontId::HeaderFont, TFontId::ColumnFont, TFontId::TextFont};

bool EndsWith(const QString& s, const char* suffix) { return s.endsWith(QLatin1String(suffix)); }
bool Has(const QString& s, const char* word) { return s.contains(QLatin1String(word), Qt::CaseInsensitive); }

void SetWhole(QWidget* w, const TFontSpec& font, QPalette::ColorRole role) {
    w->setFont(ToQFont(font));
    QColor c = FontColor(font);
    if (!c.isValid()) return;
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

void Apply3DLabel(TLabel3D* l) {
    const TFontSpec& label = Font(TFontId::LabelFont);
    const QString name = l->objectName();
    if (name == QLatin1String("prgHeader")) {
        l->setFont(ToQFont(label));
        if (QColor c = FontColor(label); c.isValid()) l->SetTextColor(c);
        return;
    }
    TFontSpec face = label;
    for (TFontId id : kSuffixed)
        if (EndsWith(name, FontSuffix(id))) face = Font(id);
    QFont f = l->font();
    f.setFamily(ToQ(face.Name));
    if (Has(name, "Header")) {
        f.setBold(label.Bold());
        f.setItalic(label.Italic());
        f.setPointSize(label.Size);
    }
    l->setFont(f);
}

void ApplyLabel(QLabel* l) {
    const QString name = l->objectName();
    if (Has(name, "TITLE")) {
        const TFontSpec& main = Font(TFontId::MainFont);
        QFont f;  // everything else from the parent
        f.setFamily(ToQ(main.Name));
        f.setPointSize(main.Size);
        l->setFont(f);
    } else if (Has(name, "WARN")) {
        const TFontSpec& label = Font(TFontId::LabelFont);
        QFont f;
        f.setFamily(ToQ(label.Name));
        f.setBold(label.Bold());
        l->setFont(f);
    } else {
        l->setFont(QFont());
    }
}

void ApplyMemo(QWidget* m) {
    if (m->testAttribute(Qt::WA_SetFont) && Has(m->font().family(), "COURIER")) {
        QFont f = m->font();
        f.setFamily(ToQ(Font(TFontId::CourierFont).Name));
        m->setFont(f);
    } else {
        SetWhole(m, Font(TFontId::EditFont), QPalette::Text);
    }
}

void ApplyOne(QWidget* w) {
    if (w->isWindow()) {
        SetWhole(w, Font(TFontId::MainFont), QPalette::WindowText);
    } else if (auto* l3 = qobject_cast<TLabel3D*>(w)) {
        Apply3DLabel(l3);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        ApplyLabel(l);
    } else if (auto* h = qobject_cast<QHeaderView*>(w)) {
        const TFontSpec& main = Font(TFontId::MainFont);
        QFont f = h->font();
        f.setFamily(ToQ(main.Name));
        f.setPointSize(main.Size);
        h->setFont(f);
    } else if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w)) {
        ApplyMemo(w);
    } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
               qobject_cast<QTableView*>(w) || qobject_cast<QComboBox*>(w) ||
               qobject_cast<QListView*>(w)) {
        SetWhole(w, Font(TFontId::EditFont), QPalette::Text);
    }
}

}  // namespace

QFont ToQFont(const TFontSpec& font) {
    InstallSubstitutes();
    QFont f(ToQ(font.Name));
    f.setPointSize(font.Size);
    f.setBold(font.Style & kFontBold);
    f.setItalic(font.Style & kFontItalic);
    f.setUnderline(font.Style & kFontUnderline);
    f.setStrikeOut(font.Style & kFontStrikeOut);
    return f;
}

QColor FontColor(const TFontSpec& font) {
    if (font.Color < 0) return {};
    const uint32_t c = static_cast<uint32_t>(font.Color);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QString DrawnFamily(const QString& face) {
    InstallSubstitutes();
    return QFontInfo(QFont(face)).family();
}

void ApplyFonts(QWidget* window, const std::vector<const QWidget*>& except) {
    if (!window) return;
    auto skip = [&](const QWidget* w) {
        return std::find(except.begin(), except.end(), w) != except.end();
    };
    if (!skip(window)) ApplyOne(window);
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!skip(w)) ApplyOne(w);
}

}  // namespace hv
