#include "core/EbayApiAnswers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace lotfinch::core {

namespace {

std::optional<QJsonObject> objectOf(std::string_view body)
{
    if (body.size() > MaxApiAnswerBytes)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool isItemNumber(const QString &text)
{
    return !text.isEmpty() && text.size() <= 20 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

std::optional<ApiToken> ReadTokenAnswer(std::string_view body)
{
    const auto object = objectOf(body);
    if (!object)
        return std::nullopt;
    const QJsonValue token = object->value("access_token");
    const QJsonValue expires = object->value("expires_in");
    if (!token.isString() || token.toString().isEmpty() || !expires.isDouble())
        return std::nullopt;
    // A token has no business with control characters: it goes into a header line.
    const QString text = token.toString();
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c < u' ' || c > u'~'; }))
        return std::nullopt;
    // A whole second at least: a token that lasts less is of no use.
    const double seconds = expires.toDouble();
    if (!(seconds >= 1))
        return std::nullopt;
    return ApiToken{text.toStdString(), static_cast<int>(std::min(seconds, 86400.0 * 365))};
}

std::optional<std::vector<ApiItem>> ReadSearchAnswer(std::string_view body)
{
    const auto object = objectOf(body);
    if (!object)
        return std::nullopt;
    std::vector<ApiItem> items;
    if (!object->contains("itemSummaries"))
        return items;
    const QJsonValue summaries = object->value("itemSummaries");
    if (!summaries.isArray())
        return std::nullopt;
    for (const QJsonValue &summary : summaries.toArray()) {
        if (!summary.isObject())
            return std::nullopt;
        const QJsonObject item = summary.toObject();
        const QString number = item.value("legacyItemId").toString();
        if (!isItemNumber(number))
            continue;
        items.push_back({number.toStdString(), item.value("title").toString().toStdString()});
    }
    return items;
}

ApiError ReadErrorAnswer(std::string_view body)
{
    ApiError answer;
    const auto object = objectOf(body);
    if (!object)
        return answer;
    answer.error = object->value("error").toString().toStdString();
    answer.message = object->value("error_description").toString().toStdString();
    const QJsonArray errors = object->value("errors").toArray();
    if (!errors.isEmpty()) {
        const QJsonObject first = errors.first().toObject();
        answer.errorId = first.value("errorId").toInt();
        if (const QString message = first.value("message").toString(); !message.isEmpty())
            answer.message = message.toStdString();
    }
    return answer;
}

} // namespace lotfinch::core
