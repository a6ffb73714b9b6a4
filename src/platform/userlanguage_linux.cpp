#include "userlanguage.h"

#include <QHash>
#include <QStringList>

namespace platform
{

namespace
{

constexpr std::uint16_t EnglishUnitedStates = 1033;

// Language and region as "ll_RR", or a language alone ("ll") for its main region. The languages
// are those the language dialog has flags for, with the regions that have an identifier of their
// own.
const QHash<QString, std::uint16_t>& langIds()
{
    static const QHash<QString, std::uint16_t> table = [] {
        const std::pair<const char*, std::uint16_t> rows[] = {
            {"en", 1033},
            {"en_US", 1033},
            {"en_GB", 2057},
            {"en_AU", 3081},
            {"en_CA", 4105},
            {"en_NZ", 5129},
            {"en_IE", 6153},
            {"en_ZA", 7177},
            {"en_JM", 8201},
            {"en_BZ", 10249},
            {"en_TT", 11273},
            {"en_ZW", 12297},
            {"en_PH", 13321},
            {"en_IN", 16393},
            {"en_MY", 17417},
            {"en_SG", 18441},
            {"de", 1031},
            {"de_DE", 1031},
            {"de_CH", 2055},
            {"de_AT", 3079},
            {"de_LU", 4103},
            {"de_LI", 5127},
            {"fr", 1036},
            {"fr_FR", 1036},
            {"fr_BE", 2060},
            {"fr_CA", 3084},
            {"fr_CH", 4108},
            {"fr_LU", 5132},
            {"fr_MC", 6156},
            {"tr", 1055},
            {"tr_TR", 1055},
            {"sq", 1052},
            {"sq_AL", 1052},
            {"ar", 1025},
            {"ar_SA", 1025},
            {"ar_IQ", 2049},
            {"ar_EG", 3073},
            {"ar_LY", 4097},
            {"ar_DZ", 5121},
            {"ar_MA", 6145},
            {"ar_TN", 7169},
            {"ar_OM", 8193},
            {"ar_YE", 9217},
            {"ar_SY", 10241},
            {"ar_JO", 11265},
            {"ar_LB", 12289},
            {"ar_KW", 13313},
            {"ar_AE", 14337},
            {"ar_BH", 15361},
            {"ar_QA", 16385},
            {"bg", 1026},
            {"bg_BG", 1026},
            {"zh", 2052},
            {"zh_CN", 2052},
            {"zh_SG", 4100},
            {"zh_TW", 1028},
            {"zh_HK", 3076},
            {"zh_MO", 5124},
            {"cs", 1029},
            {"cs_CZ", 1029},
            {"nl", 1043},
            {"nl_NL", 1043},
            {"nl_BE", 2067},
            {"fi", 1035},
            {"fi_FI", 1035},
            {"el", 1032},
            {"el_GR", 1032},
            {"he", 1037},
            {"he_IL", 1037},
            {"iw", 1037},
            {"iw_IL", 1037},
            {"hu", 1038},
            {"hu_HU", 1038},
            {"it", 1040},
            {"it_IT", 1040},
            {"it_CH", 2064},
            {"ja", 1041},
            {"ja_JP", 1041},
            {"ko", 1042},
            {"ko_KR", 1042},
            {"fa", 1065},
            {"fa_IR", 1065},
            {"pl", 1045},
            {"pl_PL", 1045},
            {"pt", 1046},
            {"pt_BR", 1046},
            {"pt_PT", 2070},
            {"ro", 1048},
            {"ro_RO", 1048},
            {"ro_MD", 2072},
            {"ru", 1049},
            {"ru_RU", 1049},
            {"ru_MD", 2073},
            {"sl", 1060},
            {"sl_SI", 1060},
            {"es", 3082},
            {"es_ES", 3082},
            {"es_MX", 2058},
            {"es_GT", 4106},
            {"es_CR", 5130},
            {"es_PA", 6154},
            {"es_DO", 7178},
            {"es_VE", 8202},
            {"es_CO", 9226},
            {"es_PE", 10250},
            {"es_AR", 11274},
            {"es_EC", 12298},
            {"es_CL", 13322},
            {"es_UY", 14346},
            {"es_PY", 15370},
            {"es_BO", 16394},
            {"es_SV", 17418},
            {"es_HN", 18442},
            {"es_NI", 19466},
            {"es_PR", 20490},
            {"es_US", 21514},
            {"sv", 1053},
            {"sv_SE", 1053},
            {"sv_FI", 2077},
            {"uk", 1058},
            {"uk_UA", 1058},
            {"vi", 1066},
            {"vi_VN", 1066},
            {"sk", 1051},
            {"sk_SK", 1051},
            {"no", 1044},
            {"nb", 1044},
            {"nb_NO", 1044},
            {"nn", 2068},
            {"nn_NO", 2068},
            {"ca", 1027},
            {"ca_ES", 1027},
            // Abkhazian has no identifier of its own; Windows reports such languages as
            // LOCALE_CUSTOM_UNSPECIFIED.
            {"ab", 4096},
            {"ab_GE", 4096},
        };
        QHash<QString, std::uint16_t> hash;
        for (const auto& [name, id] : rows)
            hash.insert(QLatin1String(name), id);
        return hash;
    }();
    return table;
}

} // namespace

std::uint16_t LangIdFromLocaleName(const QString& name)
{
    // "ll[_-]Ssss[_-]RR.codeset@modifier": the codeset and modifier say nothing of the language.
    QString tag = name;
    for (QChar cut : {QLatin1Char('@'), QLatin1Char('.')}) {
        const qsizetype at = tag.indexOf(cut);
        if (at >= 0)
            tag.truncate(at);
    }
    tag.replace(QLatin1Char('-'), QLatin1Char('_'));
    const QStringList parts = tag.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return EnglishUnitedStates;
    const QString language = parts.first().toLower();
    QString region;
    QString script;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].size() == 4)
            script = parts[i].toLower();
        else
            region = parts[i].toUpper();
    }
    const auto& table = langIds();
    if (!region.isEmpty()) {
        const auto found = table.constFind(language + QLatin1Char('_') + region);
        if (found != table.constEnd())
            return *found;
    }
    // Chinese written in traditional characters without a region is read in Taiwan.
    if (language == QStringLiteral("zh") && script == QStringLiteral("hant"))
        return table.value(QStringLiteral("zh_TW"));
    return table.value(language, EnglishUnitedStates);
}

std::uint16_t GetUserDefaultUILanguage()
{
    const QStringList languages =
        QString::fromLocal8Bit(qgetenv("LANGUAGE")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!languages.isEmpty())
        return LangIdFromLocaleName(languages.first());
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return LangIdFromLocaleName(QString::fromLocal8Bit(value));
    }
    return EnglishUnitedStates;
}

} // namespace platform
