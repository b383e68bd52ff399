#include "launcher/launcher_components.h"

#include <vector>

#include "framework/stored_form.h"
#include "framework/stream.h"
#include "splash/splash_components.h"

namespace pagorix {

namespace {

[[noreturn]] void BadValue() {
    throw EReadError(messages::SInvalidPropertyValue);
}

// An enumeration value stored by its identifier.
template <class E, size_t N>
E EnumValue(const TStoredValue& value, const std::pair<const char*, E> (&names)[N]) {
    const std::string& ident = value.AsIdent();
    for (const auto& [text, e] : names) {
        if (ident == text) return e;
    }
    BadValue();
}

}  // namespace

void TStoredUnZipper::ReadProperty(const std::string& name, const TStoredValue& value) {
    static constexpr std::pair<const char*, TUZOverwriteMode> kOverwrite[] = {
        {"Prompt", TUZOverwriteMode::Prompt},
        {"Always", TUZOverwriteMode::Always},
        {"Never", TUZOverwriteMode::Never}};
    static constexpr std::pair<const char*, TIncompleteZipMode> kIncomplete[] = {
        {"izAssumeMulti", izAssumeMulti}, {"izAssumeBad", izAssumeBad}};
    if (name == "ZipName") {
        SetZipName(value.AsString());
    } else if (name == "DestDir") {
        SetDestDir(value.AsString());
    } else if (name == "OverwriteMode") {
        OverwriteMode = EnumValue(value, kOverwrite);
    } else if (name == "IncompleteZipMode") {
        IncompleteZipMode = EnumValue(value, kIncomplete);
    } else if (name == "RecreateDirs") {
        RecreateDirs = value.AsBool();
    } else if (name == "DoAll") {
        DoAll = value.AsBool();
    } else if (name == "KeepZipOpen") {
        KeepZipOpen = value.AsBool();
    } else if (name == "DoProcessMessages") {
        DoProcessMessages = value.AsBool();
    } else if (name == "RetainAttributes") {
        RetainAttributes = value.AsBool();
    } else if (name == "NameCodePage") {
        NameCodePage = static_cast<std::uint16_t>(value.AsInt());
    } else if (name == "OnTotalPercentDone") {
        OnTotalPercentDone = ResolveEvent<TPercentEvent>(*this, value);
    } else if (name == "OnFilePercentDone") {
        OnFilePercentDone = ResolveEvent<TPercentEvent>(*this, value);
    } else if (name == "OnBadPassword") {
        OnBadPassword = ResolveEvent<TBadPasswordEvent>(*this, value);
    } else if (name == "OnBadCRC") {
        OnBadCRC = ResolveEvent<TBadCRCEvent>(*this, value);
    } else if (name == "OnStartUnZip") {
        OnStartUnZip = ResolveEvent<TStartUnZipEvent>(*this, value);
    } else {
        TUnZipper::ReadProperty(name, value);
    }
}

void TStoredExecFile::ReadProperty(const std::string& name, const TStoredValue& value) {
    static constexpr std::pair<const char*, TPriorityClass> kPriority[] = {
        {"pcNormal", TPriorityClass::pcNormal},
        {"pcIdle", TPriorityClass::pcIdle},
        {"pcHigh", TPriorityClass::pcHigh},
        {"pcRealTime", TPriorityClass::pcRealTime}};
    static constexpr std::pair<const char*, TWaitStyle> kWait[] = {
        {"wRegular", TWaitStyle::wRegular}, {"wSuspend", TWaitStyle::wSuspend}};
    static constexpr std::pair<const char*, TWindowStyle> kWindow[] = {
        {"wsNorm", TWindowStyle::wsNorm},
        {"wsMinimize", TWindowStyle::wsMinimize},
        {"wsMaximize", TWindowStyle::wsMaximize},
        {"wsHide", TWindowStyle::wsHide},
        {"wsMinNoActivate", TWindowStyle::wsMinNoActivate},
        {"wsShowNoActivate", TWindowStyle::wsShowNoActivate}};
    if (name == "Associate") {
        SetAssociate(value.AsBool());
    } else if (name == "Wait") {
        SetWait(value.AsBool());
    } else if (name == "WaitStyle") {
        SetWaitStyle(EnumValue(value, kWait));
    } else if (name == "WindowStyle") {
        SetWindowStyle(EnumValue(value, kWindow));
    } else if (name == "Priority") {
        SetPriority(EnumValue(value, kPriority));
    } else if (name == "CommandLine") {
        SetCommandLine(value.AsString());
    } else if (name == "Parameters") {
        SetParameters(value.AsString());
    } else if (name == "OnFail") {
        OnFail = ResolveEvent<TNotifyEvent>(*this, value);
    } else {
        TExecFile::ReadProperty(name, value);
    }
}

void TStoredFileSource::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Compress") {
        SetCompress(value.AsBool());
    } else if (name == "DisplayLabel") {
        SetDisplayLabel(value.AsString());
    } else if (name == "Extension") {
        SetExtension(value.AsString());
    } else if (name == "Store") {
        SetStore(value.AsBool());
    } else if (name == kFileDataName) {
        if (value.kind != TValueKind::Binary) BadValue();
        TMemoryStream stream(std::vector<std::uint8_t>(value.binary.begin(), value.binary.end()));
        ReadData(stream);
    } else {
        TFileSource::ReadProperty(name, value);
    }
}

void RegisterLauncherComponents() {
    RegisterSplashComponents();
    RegisterComponentClass<TStoredUnZipper>("TUnZipper");
    RegisterComponentClass<TStoredExecFile>("TExecFile");
    RegisterComponentClass<TStoredFileSource>("TFileSource");
}

}  // namespace pagorix
