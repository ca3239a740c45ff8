// The player's automation objects as the bridge sees them: every object is called like
// IDispatch::Invoke, by operation number and kind, with a few argument types. On Windows a
// wrapper over the player's IDispatch implements HostObject; the simulated player implements
// it natively. The operation numbers are named once, in the enums below.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace host {

class HostObject;
using HostObjectPtr = std::shared_ptr<HostObject>;

// OLE Automation's boolean: VARIANT_TRUE is -1 (0xFFFF in 16 bits), VARIANT_FALSE 0.
constexpr int16_t kVariantTrue = -1;
constexpr int16_t kVariantFalse = 0;

// One argument or result: nothing, VT_I4, VT_BOOL, VT_BSTR (UTF-16) or VT_DISPATCH.
class HostValue {
public:
    enum class Type { Empty, Int32, Bool, Text, Object };

    HostValue() = default;
    HostValue(int32_t v) : v_(v) {}
    // Use boolean(): a C++ bool must not silently become a VT_I4 of 1. (A template, so that
    // other integer types still convert to int32 without ambiguity.)
    template <class T>
    requires std::same_as<T, bool> HostValue(T)
    = delete;
    HostValue(std::u16string text) : v_(std::move(text)) {}
    HostValue(const char16_t* text) : v_(std::u16string(text)) {}
    HostValue(HostObjectPtr object) : v_(std::move(object)) {}
    // A VT_BOOL from a C++ bool (true becomes VARIANT_TRUE).
    static HostValue boolean(bool b) { return fromVariantBool(b ? kVariantTrue : kVariantFalse); }
    // A VT_BOOL holding the raw 16-bit value, as a host may send any non-canonical value.
    static HostValue fromVariantBool(int16_t raw) {
        HostValue v;
        v.v_ = BoolBox{raw};
        return v;
    }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isEmpty() const { return type() == Type::Empty; }

    // The integer of a VT_I4; a VT_BOOL gives its raw value (-1 or 0) as Automation coerces.
    std::optional<int32_t> asInt() const;
    // The raw VARIANT_BOOL of a VT_BOOL.
    std::optional<int16_t> asVariantBool() const;
    // True only for a VT_BOOL holding VARIANT_TRUE: other values count as false.
    bool isTrue() const { return asVariantBool() == kVariantTrue; }
    const std::u16string* asText() const { return std::get_if<std::u16string>(&v_); }
    // The object of a VT_DISPATCH; null for a null object or another type.
    HostObjectPtr asObject() const;

private:
    struct BoolBox {
        int16_t raw;
    };
    std::variant<std::monostate, int32_t, BoolBox, std::u16string, HostObjectPtr> v_;
};

enum class InvokeKind { Method, Get, Put };

// The outcome of an invoke, mirroring the HRESULTs a dispatch call can give.
enum class HostStatus {
    Ok,
    UnknownOperation, // DISP_E_MEMBERNOTFOUND: no such number, or not with this kind
    BadArgumentCount, // DISP_E_BADPARAMCOUNT
    TypeMismatch,     // DISP_E_TYPEMISMATCH
    BadIndex,         // DISP_E_BADINDEX: an index or band out of range
    Failed,           // DISP_E_EXCEPTION / E_FAIL: the operation itself failed
    NotSupported,     // E_NOTIMPL / CONNECT_E_NOCONNECTION for advising
};

const char* hostStatusName(HostStatus status);

// Details of a failure, like EXCEPINFO: a description a person can read.
struct HostFault {
    std::string description;
};

// Receives the player's events (IMJAutomationEvents): event number and its arguments, in
// declaration order.
class HostEventSink {
public:
    virtual ~HostEventSink() = default;
    virtual void onHostEvent(int32_t eventId, std::span<const HostValue> args) = 0;
};

class HostObject {
public:
    virtual ~HostObject() = default;

    // Runs operation `id` as method, property get or property put. Arguments are in
    // declaration order (the Windows wrapper reverses them for DISPPARAMS); a put takes the
    // new value as its last argument. `result` receives the return value or stays empty.
    // `fault` may be null; on failure it receives a description when the object has one.
    virtual HostStatus invoke(int32_t id, InvokeKind kind, std::span<const HostValue> args,
                              HostValue& result, HostFault* fault) = 0;

    // The event connection point of the root object. The sink must stay alive until it is
    // unadvised; events reach it on the player's thread.
    virtual HostStatus advise(HostEventSink* /*sink*/, uint32_t& /*cookie*/) {
        return HostStatus::NotSupported;
    }
    virtual HostStatus unadvise(uint32_t /*cookie*/) { return HostStatus::NotSupported; }
};

// The notification event and the names it carries as its second text argument.
constexpr int32_t kEventNotify = 1;
inline constexpr char16_t kNotifyTrackChange[] = u"MCC: NOTIFY_TRACK_CHANGE";
inline constexpr char16_t kNotifyPlayerStateChange[] = u"MCC: NOTIFY_PLAYERSTATE_CHANGE";
inline constexpr char16_t kNotifyVolumeChanged[] = u"MCC: NOTIFY_VOLUME_CHANGED";
inline constexpr char16_t kNotifyEqChanged[] = u"MCC: NOTIFY_EQ_CHANGED";

// The window message the player sends to the window registered with RootOp::RegisterWindow
// when its status changes (WM_APP + 1000), and that message's wParam.
constexpr uint32_t kStatusWindowMessage = 33768;
constexpr uint32_t kStatusWindowParam = 34086;

// Where the player keeps its equalizer presets in the user's registry:
// "Software\J. River\Media Center <version>\Zones\Global\Equalizer\Presets".
std::u16string presetsKeyPath(int32_t majorVersion);

// --- operation numbers, one enum per object kind ---------------------------------------------

enum class RootOp : int32_t {
    Playback = 1,        // m -> playback object
    Search = 2,          // m(text expression) -> files collection
    PlayingNow = 3,      // m -> playing-now list
    Playlists = 4,       // m -> playlists collection
    VolumeEqualizer = 6, // m -> volume and equalizer object
    Version = 7,         // m -> version object
    NewFiles = 23,       // m -> new empty files collection
    PlaylistById = 27,   // m(int id) -> playlist, or a null object
    RegisterWindow = 28, // m(int window handle, int 1)
};

enum class VersionOp : int32_t {
    Major = 1, // g int: the player's major version
};

enum class PlaybackOp : int32_t {
    State = 1,          // g int: 0 stopped, 1 paused, 2 playing, 3 waiting
    Position = 3,       // g/p int: seconds into the current track
    PlaybackFigure = 6, // g int: an integer figure of the current playback
    Play = 8,
    Stop = 9,
    Next = 10,
    Previous = 11,
    PlayPause = 15,
};

enum class PlayingNowOp : int32_t {
    Position = 1,      // g/p int: current entry, -1 none
    Shuffle = 2,       // g/p bool
    Repeat = 3,        // g/p bool
    Count = 4,         // m -> int
    Item = 5,          // m(int index) -> file
    Clear = 6,         // m
    Remove = 7,        // m(int index) -> bool
    RepeatedItem = 11, // m -> int: the entry repeated on its own (track repeat), else -1
    Insert = 14,       // m(int file key, int position, -1 = end) -> bool
};

enum class PlaybackState : int32_t { Stopped = 0, Paused = 1, Playing = 2, Waiting = 3 };

enum class FilesOp : int32_t {
    Count = 1,       // m -> int
    Item = 2,        // m(int index) -> file
    Play = 4,        // m(int -1): plays the collection as the playing-now list
    AppendKey = 9,   // m(int file key)
    Remove = 10,     // m(int index) -> bool
    InsertCopy = 17, // m(files source, int source index, int position) -> int
    Narrow = 20,     // m(text expression): keeps the files that match
};

enum class PlaylistOp : int32_t {
    Name = 1,     // g text
    Path = 2,     // g text
    Files = 3,    // m -> files collection
    Id = 6,       // m -> int
    Property = 7, // m(text property name) -> text; "Type": "0" ordinary, "2" group, others
    SetFiles = 9, // m(files) -> bool
};

enum class PlaylistsOp : int32_t {
    Count = 1,  // m -> int
    Item = 2,   // m(int index) -> playlist
    Create = 3, // m(text name, text path) -> playlist
    Delete = 4, // m(text name, text path) -> bool
};

enum class FileOp : int32_t {
    Path = 1,           // g text
    Artist = 2,         // g text
    Album = 3,          // g text
    Name = 4,           // g text
    Duration = 6,       // g int seconds
    Genre = 7,          // g text
    TrackNumber = 8,    // g int
    IntProperty10 = 10, // g int
    IntProperty11 = 11, // g int
    Rating = 18,        // g/p int
    Text = 20,          // g text
    ImagePath = 23,     // m(int size code 3, 4 or 5) -> text path, empty when none
    AlbumArtist = 31,   // g text
    FieldByName = 32,   // m(text field name) -> text
    Key = 35,           // m -> int
};

enum class VolumeOp : int32_t {
    Volume = 1,      // g/p int 0..100
    Muted = 3,       // g bool
    EqualizerOn = 4, // g/p bool
    SetBand = 5,     // m(int band, int value); band 0 preamp, 1..10; values -100..100
    Band = 6,        // m(int band) -> int
};

// --- typed helpers -----------------------------------------------------------------------------

// The result of a helper call: the status and the value (empty on failure).
struct HostResult {
    HostStatus status = HostStatus::Failed;
    HostValue value;

    bool ok() const { return status == HostStatus::Ok; }
    std::optional<int32_t> asInt() const { return ok() ? value.asInt() : std::nullopt; }
    bool isTrue() const { return ok() && value.isTrue(); }
    HostObjectPtr asObject() const { return ok() ? value.asObject() : nullptr; }
    // The text, or an empty one when the call failed or gave no text.
    std::u16string text() const;
};

HostResult invokeHost(HostObject* object, int32_t id, InvokeKind kind,
                      std::initializer_list<HostValue> args, HostFault* fault = nullptr);

template <class Op>
HostResult callMethod(HostObject* object, Op op, std::initializer_list<HostValue> args = {},
                      HostFault* fault = nullptr) {
    return invokeHost(object, static_cast<int32_t>(op), InvokeKind::Method, args, fault);
}
template <class Op> HostResult getProperty(HostObject* object, Op op, HostFault* fault = nullptr) {
    return invokeHost(object, static_cast<int32_t>(op), InvokeKind::Get, {}, fault);
}
template <class Op>
HostResult putProperty(HostObject* object, Op op, HostValue value, HostFault* fault = nullptr) {
    return invokeHost(object, static_cast<int32_t>(op), InvokeKind::Put, {std::move(value)}, fault);
}

} // namespace host
