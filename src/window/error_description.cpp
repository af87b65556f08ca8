// SPDX-License-Identifier: MIT
#include "window/error_description.h"

#include "text/utf.h"
#include "window/desktop_error.h"

#include <new>
#include <stdexcept>

namespace orvik {

std::u16string DescribeException(std::exception_ptr error)
{
    if (!error)
        return u"Erreur inattendue.";
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return u"Mémoire insuffisante pour traiter ce texte.";
    } catch (const DesktopError& e) {
        return Utf16FromUtf8(e.what());
    } catch (const std::length_error& e) {
        // The repair core's refusal of a text too long, already in French.
        return Utf16FromUtf8(e.what());
    } catch (const std::exception& e) {
        return u"Erreur inattendue : " + Utf16FromUtf8(e.what());
    } catch (...) {
        return u"Erreur inattendue.";
    }
}

} // namespace orvik
