// The project editor opened on a real project over a real tree, as the main
// window opens it: modally, with the acts of the test running inside it.
//
//   D:\Work        a.txt (taken), b.bak (left out by BAK), Deep (empty), Sub
//   D:\Work\Sub    keep.txt (mandatory), x.tmp (excluded by Sub\*.tmp), other.txt (no rule)
//   D:\Prog\Projects\Docs.hlj  the project; Dep.hlj, Other.hlj projects; NotPrj.hlj no project
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "UiFixture.h"
#include "editor/BrowserView.h"
#include "editor/SetPrj.h"
#include "project/HLObject.h"
#include "settings/IniSections.h"

namespace hv::test {

inline const char kDocs[] = "D:\\Prog\\Projects\\Docs.hlj";

class EditorTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        ResetConfiguration();
        responder_ = std::make_unique<ScriptedResponder>();
        CreateFile("d/Work/a.txt", "aaaa");
        CreateFile("d/Work/b.bak", std::string(2000, 'b'));
        CreateFile("d/Work/Sub/keep.txt", "k");
        CreateFile("d/Work/Sub/x.tmp", "xx");
        CreateFile("d/Work/Sub/other.txt", "ooo");
        CreateDir("d/Work/Deep");
        CreateDir("d/Arc");
        CreateFile("d/Prog/Projects/NotPrj.hlj", std::string(100, 'x'));
        SaveProject("Dep", "Зависимый", "D:\\Work", "D:\\Arc\\Dep");
        SaveProject("Other", "Другой", "D:\\Work", "D:\\Arc\\Other");
        SaveProject("Docs", "Документы", "D:\\Work", "D:\\Arc", [](THL_HalvoraProject& p) {
            p.IncludeAllFiles = true;
            p.GlobalProjectExclude = false;
            p.AddExtension("BAK");
            p.AddFileName("Sub\\keep.txt", true);
            p.AddFileName("Sub\\*.tmp", false);
            for (const char* d : {"Dep", "NotPrj", "Gone"})
                p.Projects().Add(std::string("D:\\Prog\\Projects\\") + d + ".hlj");
            p.AddDirectory("D:\\Work\\Deep");
            p.AddDirectory("D:\\Nowhere");
            p.SetArcName("backup.arj");
            p.ArcType = 3;
            p.CompressType = 1;
            p.ArcPS = "pw";
            p.SetVolumeSize(2);
            p.MakeSaveDirectories = true;
            p.PreBatch().Add("echo one");
            p.PreBatch().Add("echo two");
        });
        Caller(kDocs);
        editor_ = std::make_unique<TFormSetProject>();
    }
    void TearDown() override {
        editor_.reset();
        UiTest::TearDown();
    }

    // D:\Prog\Projects\<File>.hlj: Name over Root, stored in Place; Shape sets the rest.
    static void SaveProject(const std::string& file, const char* name, const char* root,
                            const char* place,
                            const std::function<void(THL_HalvoraProject&)>& shape = {}) {
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + file + ".hlj";
        p.SetName(A(name));
        p.SetRootDir(root);
        p.SavePlaces().Add(place);
        if (shape) shape(p);
        p.SaveToFile();
    }
    // The caller's project, as the main window holds it.
    void Caller(const std::string& file) { caller_ = Load(file); }
    // Opens the editor modally; Act runs in it and closes it. The modal result.
    int Edit(const std::function<void(TFormSetProject&)>& act) {
        editor_->SetCallerProject(caller_.get());
        OnNextModal([&](QWidget*) { act(*editor_); });
        return editor_->Execute();
    }
    // A project file as the core reads it.
    static std::unique_ptr<THL_HalvoraProject> Load(const std::string& file) {
        auto p = std::make_unique<THL_HalvoraProject>();
        p->FileName = file;
        p->LoadFromFile();
        return p;
    }
    // The entries of a list of the core, UTF-8, joined by "|" as Shown joins rows.
    static QString Joined(const TStringList& list) {
        QStringList out;
        for (int i = 0; i < list.Count(); ++i) out << QString::fromStdString(AnsiToUtf8(list[i]));
        return out.join('|');
    }

    template <class T = QWidget>
    T* C(const char* name) const {
        return Find<T>(editor_.get(), name);
    }
    QString S(const char* name) const { return Shown(editor_.get(), name); }
    QString S(std::initializer_list<const char*> names) const {
        return Shown(editor_.get(), names);
    }
    // Empties an edit as a person does, so that the change is noticed.
    static void Erase(QLineEdit* e) {
        e->selectAll();
        Press(e, Qt::Key_Delete);
    }
    void SetEdit(const char* name, const char* utf8) {
        Erase(C<QLineEdit>(name));
        Type(C<QLineEdit>(name), utf8);
    }

    // ---- the disk browser ----------------------------------------------------------
    TBrowserView* Lva() const { return C<TBrowserView>("lva"); }
    // Caption -> image of every item shown.
    std::map<QString, int> Images() const {
        std::map<QString, int> out;
        const QStringList names = Column(Lva()->Table());
        for (int i = 0; i < names.size(); ++i)
            out[names[i]] = Column(Lva()->Table(), 0, TBrowserModel::ImageRole)[i].toInt();
        return out;
    }
    int Row(const QString& caption) const {
        const int row = static_cast<int>(Column(Lva()->Table()).indexOf(caption));
        if (row < 0) ADD_FAILURE() << "no item " << caption.toStdString();
        return row;
    }
    // Selects the items by caption, the first one current.
    void Select(const QStringList& captions) const {
        QItemSelectionModel* sel = Lva()->Table()->selectionModel();
        sel->clearSelection();
        for (int i = 0; i < captions.size(); ++i)
            sel->setCurrentIndex(
                Lva()->Table()->model()->index(Row(captions[i]), 0),
                (i == 0 ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select) |
                    QItemSelectionModel::Rows);
    }
    void DoubleClick(const QString& caption) const {
        QAbstractItemView* v = Lva()->Current();
        ClickIndex(v, v->model()->index(Row(caption), 0), true);
    }

    // ---- drops -------------------------------------------------------------------------
    // What a drag from the control Source carries.
    QMimeData* From(const char* source) const {
        QWidget* w = std::string(source) == "lva" ? Lva()->Current() : C<QWidget>(source);
        return editor_->DragMime(w);
    }
    bool Drop(const char* target, QMimeData* mime, QPoint pos = {4, 4}) const {
        return UiTest::Drop(C(target), mime, pos);
    }
    // Text typed into edValue and dragged from there onto Target.
    bool DropValue(const char* target, const char* utf8) const {
        C<QLineEdit>("edValue")->setText(QString::fromUtf8(utf8));
        return Drop(target, From("edValue"));
    }
    // Item of List thrown onto the waste bin; whether the bin took it.
    bool Bin(const char* list, const char* utf8) const {
        SelectIn(list, {QString::fromUtf8(utf8)});
        return Drop("imRecicle", From(list));
    }
    // Selects rows of a list by their texts.
    void SelectIn(const char* list, const QStringList& texts) const {
        QListWidget* l = C<QListWidget>(list);
        l->clearSelection();
        for (int i = 0; i < l->count(); ++i)
            if (texts.contains(l->item(i)->text()))
                l->setCurrentRow(i, QItemSelectionModel::Select);
    }

    std::unique_ptr<THL_HalvoraProject> caller_;
    std::unique_ptr<TFormSetProject> editor_;
};

}  // namespace hv::test
