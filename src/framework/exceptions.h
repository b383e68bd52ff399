// The framework's exception classes. Every exception the system raises derives
// from Exception and carries only a message; the framework's own messages are
// French, in the system's single-byte code page (Windows-1252).
#pragma once

#include <exception>
#include <string>

namespace pagorix {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const std::string& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

#define PAGORIX_EXCEPTION(Name, Base) \
    class Name : public Base {        \
    public:                           \
        using Base::Base;             \
    }

PAGORIX_EXCEPTION(EStreamError, Exception);
PAGORIX_EXCEPTION(EFCreateError, EStreamError);
PAGORIX_EXCEPTION(EFOpenError, EStreamError);
PAGORIX_EXCEPTION(EReadError, EStreamError);
PAGORIX_EXCEPTION(EWriteError, EStreamError);
PAGORIX_EXCEPTION(EOutOfResources, Exception);
PAGORIX_EXCEPTION(EListError, Exception);
PAGORIX_EXCEPTION(EInvalidCast, Exception);
PAGORIX_EXCEPTION(EConvertError, Exception);
PAGORIX_EXCEPTION(EOutOfMemory, Exception);

#undef PAGORIX_EXCEPTION

// An input/output failure of the host, with the host's error code.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int errorCode)
        : Exception(std::move(message)), m_errorCode(errorCode) {}
    int ErrorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

// The framework's messages. Hex escapes are split from the following letter
// on purpose: a hex escape would otherwise swallow it.
namespace messages {
inline constexpr const char* SFCreateError = "Ne peut cr\xE9" "er le fichier %s";
inline constexpr const char* SFOpenError = "Ne peut ouvrir le fichier %s";
inline constexpr const char* SReadError = "Erreur de lecture du flux";
inline constexpr const char* SWriteError = "Erreur d'\xE9" "criture dans le flux";
inline constexpr const char* SMemoTooLarge = "Le texte d\xE9" "passe la capacit\xE9" " du m\xE9" "mo";
inline constexpr const char* SInOutError = "Erreur d'E/S %d";
inline constexpr const char* SListIndexError = "Index de liste hors limites (%d)";
inline constexpr const char* SInvalidCast = "Transtypage incorrect";
inline constexpr const char* SOutOfMemory = "M\xE9" "moire insuffisante";
}  // namespace messages

// Raises EInOutError for a host error code with the framework's message.
[[noreturn]] void RaiseLastOSError(int errorCode);

}  // namespace pagorix
