// Files and files collections, and the objects' shared failures.
#include "automation/Objects.h"

namespace automation::objects {

using medialib::FieldInfo;
using medialib::fieldText;
using medialib::findField;
using medialib::Track;

HostStatus unknown(HostFault* f, const char* object, int32_t id, InvokeKind kind) {
    const char* k = kind == InvokeKind::Method ? "method" : kind == InvokeKind::Get ? "get" : "put";
    return fault(f, HostStatus::UnknownOperation,
                 std::string(object) + " has no " + k + " operation " + std::to_string(id));
}

HostStatus badIndex(HostFault* f, int32_t index, size_t count) {
    return fault(f, HostStatus::BadIndex,
                 "index " + std::to_string(index) + " is outside 0.." +
                     std::to_string(int64_t(count) - 1));
}

namespace {

// --- file ------------------------------------------------------------------------------------

class FileObject : public AutomationObject {
public:
    FileObject(CorePtr core, int32_t key) : AutomationObject(std::move(core)), key_(key) {}
    int32_t key() const { return key_; }

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::FileOp;
        const Track* t = core_->findTrack(key_);
        if (!t)
            return fault(f, HostStatus::Failed, "the file is no longer in the library");
        ArgReader a(args, f);
        if (kind == G && args.empty()) {
            switch (static_cast<FileOp>(id)) {
            case FileOp::Path:
                return r = HostValue(t->path), HostStatus::Ok;
            case FileOp::Artist:
                return r = HostValue(t->artist), HostStatus::Ok;
            case FileOp::Album:
                return r = HostValue(t->album), HostStatus::Ok;
            case FileOp::Name:
                return r = HostValue(t->name), HostStatus::Ok;
            case FileOp::Duration:
                return r = HostValue(t->durationSeconds), HostStatus::Ok;
            case FileOp::Genre:
                return r = HostValue(t->genre), HostStatus::Ok;
            case FileOp::TrackNumber:
                return r = HostValue(t->trackNumber), HostStatus::Ok;
            case FileOp::IntProperty10:
                return r = HostValue(t->year), HostStatus::Ok;
            case FileOp::IntProperty11:
                return r = HostValue(t->playCount), HostStatus::Ok;
            case FileOp::Rating:
                return r = HostValue(t->rating), HostStatus::Ok;
            case FileOp::Text:
                return r = HostValue(t->comment), HostStatus::Ok;
            case FileOp::AlbumArtist:
                return r = HostValue(t->albumArtist), HostStatus::Ok;
            default:
                break;
            }
        }
        int32_t n = 0;
        std::u16string text;
        if (is(id, kind, FileOp::Rating, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return core_->rate(key_, n < 0 ? 0 : (n > 5 ? 5 : n), f);
        }
        if (is(id, kind, FileOp::ImagePath, M)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 3 || n > 5)
                return fault(f, HostStatus::BadIndex, "image size code must be 3, 4 or 5");
            std::u16string path;
            HostStatus s = core_->coverPath(*t, n, path, f);
            if (s == HostStatus::Ok)
                r = HostValue(std::move(path));
            return s;
        }
        if (is(id, kind, FileOp::FieldByName, M)) {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            const FieldInfo* field = findField(text);
            r = HostValue(field ? fieldText(*field, *t) : std::u16string());
            return HostStatus::Ok;
        }
        if (is(id, kind, FileOp::Key, M)) {
            if (!a.expect(0))
                return a.status();
            return r = HostValue(t->key), HostStatus::Ok;
        }
        return unknown(f, "file", id, kind);
    }

private:
    int32_t key_;
};

} // namespace

HostValue fileValue(const CorePtr& core, int32_t key) {
    return HostValue(HostObjectPtr(std::make_shared<FileObject>(core, key)));
}

// --- files collection ------------------------------------------------------------------------

HostStatus FilesObject::run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) {
    using host::FilesOp;
    ArgReader a(args, f);
    int32_t n = 0, m = 0;
    std::u16string text;
    if (kind != M)
        return unknown(f, "files collection", id, kind);
    switch (static_cast<FilesOp>(id)) {
    case FilesOp::Count:
        if (!a.expect(0))
            return a.status();
        return r = HostValue(int32_t(keys_.size())), HostStatus::Ok;
    case FilesOp::Item:
        if (!a.expect(1) || !a.integer(0, n))
            return a.status();
        if (n < 0 || size_t(n) >= keys_.size())
            return badIndex(f, n, keys_.size());
        return r = fileValue(core_, keys_[size_t(n)]), HostStatus::Ok;
    case FilesOp::Play:
        if (!a.expect(1) || !a.integer(0, n))
            return a.status();
        if (keys_.empty())
            return fault(f, HostStatus::Failed, "nothing to play: the collection is empty");
        return core_->playKeys(keys_, n, f);
    case FilesOp::AppendKey:
        if (!a.expect(1) || !a.integer(0, n))
            return a.status();
        if (!core_->findTrack(n))
            return fault(f, HostStatus::Failed, "no file has key " + std::to_string(n));
        keys_.push_back(n);
        return HostStatus::Ok;
    case FilesOp::Remove:
        if (!a.expect(1) || !a.integer(0, n))
            return a.status();
        if (n < 0 || size_t(n) >= keys_.size())
            return r = HostValue::boolean(false), HostStatus::Ok;
        keys_.erase(keys_.begin() + n);
        return r = HostValue::boolean(true), HostStatus::Ok;
    case FilesOp::InsertCopy: {
        if (!a.expect(3) || !a.integer(1, n) || !a.integer(2, m))
            return a.status();
        auto* source = dynamic_cast<FilesObject*>(args[0].asObject().get());
        if (!source)
            return fault(f, HostStatus::TypeMismatch, "argument 1 must be a files collection");
        const auto& from = source->keysLocked();
        if (n < 0 || size_t(n) >= from.size())
            return badIndex(f, n, from.size());
        int32_t key = from[size_t(n)];
        size_t at = (m < 0 || size_t(m) > keys_.size()) ? keys_.size() : size_t(m);
        keys_.insert(keys_.begin() + ptrdiff_t(at), key);
        return r = HostValue(int32_t(at)), HostStatus::Ok;
    }
    case FilesOp::Narrow: {
        if (!a.expect(1) || !a.text(0, text))
            return a.status();
        std::vector<int32_t> kept;
        HostStatus s = core_->runSearch(text, &keys_, kept, f);
        if (s == HostStatus::Ok)
            keys_ = std::move(kept);
        return s;
    }
    }
    return unknown(f, "files collection", id, kind);
}

HostValue filesValue(const CorePtr& core, std::vector<int32_t> keys) {
    return HostValue(HostObjectPtr(std::make_shared<FilesObject>(core, std::move(keys))));
}

} // namespace automation::objects
