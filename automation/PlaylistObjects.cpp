// Stored playlists: one playlist and the collection of all of them.
#include "automation/Objects.h"

#include "medialib/TextFold.h"

namespace automation::objects {

using medialib::equalsFolded;
using medialib::PlaylistData;
namespace {

// --- playlists -------------------------------------------------------------------------------

class PlaylistObject : public AutomationObject {
public:
    PlaylistObject(CorePtr core, int32_t id) : AutomationObject(std::move(core)), id_(id) {}

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaylistOp;
        const PlaylistData* p = core_->findPlaylist(id_);
        if (!p)
            return fault(f, HostStatus::Failed, "the playlist was deleted");
        ArgReader a(args, f);
        std::u16string text;
        if (is(id, kind, PlaylistOp::Name, G))
            return r = HostValue(p->name), HostStatus::Ok;
        if (is(id, kind, PlaylistOp::Path, G))
            return r = HostValue(p->path), HostStatus::Ok;
        if (is(id, kind, PlaylistOp::Files, M)) {
            if (!a.expect(0))
                return a.status();
            std::vector<int32_t> keys;
            HostStatus s = core_->playlistKeys(*p, keys, f);
            if (s == HostStatus::Ok)
                r = filesValue(core_, std::move(keys));
            return s;
        }
        if (is(id, kind, PlaylistOp::Id, M)) {
            if (!a.expect(0))
                return a.status();
            return r = HostValue(p->id), HostStatus::Ok;
        }
        if (is(id, kind, PlaylistOp::Property, M)) {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            std::u16string value;
            auto decimal = [](int64_t v) {
                std::string s = std::to_string(v);
                return std::u16string(s.begin(), s.end());
            };
            if (equalsFolded(text, u"Type"))
                value = decimal(int32_t(p->type));
            else if (equalsFolded(text, u"Name"))
                value = p->name;
            else if (equalsFolded(text, u"Path"))
                value = p->path;
            else if (equalsFolded(text, u"ID"))
                value = decimal(p->id);
            else if (equalsFolded(text, u"Expression"))
                value = p->expression;
            return r = HostValue(value), HostStatus::Ok;
        }
        if (is(id, kind, PlaylistOp::SetFiles, M)) {
            if (!a.expect(1))
                return a.status();
            auto* files = dynamic_cast<FilesObject*>(args[0].asObject().get());
            if (!files)
                return fault(f, HostStatus::TypeMismatch, "argument 1 must be a files collection");
            bool stored = false;
            HostStatus s = core_->storePlaylistKeys(id_, files->keysLocked(), stored, f);
            if (s == HostStatus::Ok)
                r = HostValue::boolean(stored);
            return s;
        }
        return unknown(f, "playlist", id, kind);
    }

private:
    int32_t id_;
};

} // namespace

HostValue playlistValue(const CorePtr& core, int32_t id) {
    return HostValue(HostObjectPtr(std::make_shared<PlaylistObject>(core, id)));
}

namespace {

class PlaylistsObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaylistsOp;
        ArgReader a(args, f);
        int32_t n = 0;
        std::u16string name, path;
        bool deleted = false;
        HostStatus s = HostStatus::Ok;
        if (kind != M)
            return unknown(f, "playlists", id, kind);
        switch (static_cast<PlaylistsOp>(id)) {
        case PlaylistsOp::Count:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(int32_t(core_->playlistCount())), HostStatus::Ok;
        case PlaylistsOp::Item:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= core_->playlistCount())
                return badIndex(f, n, core_->playlistCount());
            return r = playlistValue(core_, core_->playlistAt(size_t(n))->id), HostStatus::Ok;
        case PlaylistsOp::Create: {
            if (!a.expect(2) || !a.text(0, name) || !a.text(1, path))
                return a.status();
            if (name.empty())
                return fault(f, HostStatus::Failed, "a playlist needs a name");
            if ((s = core_->createPlaylist(name, path, n, f)) == HostStatus::Ok)
                r = playlistValue(core_, n);
            return s;
        }
        case PlaylistsOp::Delete:
            if (!a.expect(2) || !a.text(0, name) || !a.text(1, path))
                return a.status();
            if ((s = core_->deletePlaylist(name, path, deleted, f)) == HostStatus::Ok)
                r = HostValue::boolean(deleted);
            return s;
        }
        return unknown(f, "playlists", id, kind);
    }
};

} // namespace

HostObjectPtr makePlaylistsObject(CorePtr core) {
    return std::make_shared<PlaylistsObject>(std::move(core));
}

} // namespace automation::objects
