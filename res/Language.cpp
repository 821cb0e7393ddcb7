#include "res/Language.h"

#include "base/QtText.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include <cctype>
#include <cstdlib>

// Outside any namespace: the registration function rcc generates for the translations lives
// in the global one. Nothing else refers to the resource, so without this call the linker
// would leave it out of the program.
static bool RegisterTranslations()
{
    Q_INIT_RESOURCE(sorvane_translations);
    return true;
}

namespace {

// The Japanese texts are the source texts, so their language needs no translation.
constexpr std::string_view kSourceLanguage = "ja";
// The language of a locale without a translation of its own.
constexpr std::string_view kFallbackLanguage = "en";
// Where the compiled translations lie among the program's resources.
constexpr const char* kTranslationPrefix = ":/i18n/sorvane_";

// The language code of a locale name ("en_US.UTF-8@euro" gives "en"); "" for C and POSIX.
std::string LanguageOfLocale(std::string_view locale)
{
    const std::size_t end = locale.find_first_of("_.@");
    const std::string_view code = locale.substr(0, end);
    if (code == "C" || code == "POSIX")
        return {};
    std::string lower;
    for (const char c : code) {
        if (std::isalpha(static_cast<unsigned char>(c)) == 0)
            return {};
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower == kSourceLanguage ? std::string() : lower;
}

bool IsSet(const char* value)
{
    return value != nullptr && value[0] != '\0';
}

} // namespace

std::string ChooseLanguage(const char* sorvaneLang, const char* lcAll, const char* lcMessages,
                           const char* lang)
{
    for (const char* value : {sorvaneLang, lcAll, lcMessages, lang})
        if (IsSet(value))
            return LanguageOfLocale(value);
    return {};
}

std::string LanguageOfEnvironment()
{
    return ChooseLanguage(std::getenv("SORVANE_LANG"), std::getenv("LC_ALL"),
                          std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::unique_ptr<QTranslator> InstallQtTranslation(std::string_view language)
{
    const QString name =
        QStringLiteral("qtbase_") + ToQString(language.empty() ? kSourceLanguage : language);
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

std::unique_ptr<QTranslator> InstallTranslation(std::string_view language)
{
    if (language.empty())
        return nullptr;
    static const bool registered = RegisterTranslations();
    (void)registered;
    QString path = kTranslationPrefix + ToQString(language) + QStringLiteral(".qm");
    if (!QFile::exists(path))
        path = kTranslationPrefix + ToQString(kFallbackLanguage) + QStringLiteral(".qm");
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(path) || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}
