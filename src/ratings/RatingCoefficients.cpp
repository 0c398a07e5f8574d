#include "ratings/RatingCoefficients.h"

#include <array>

namespace
{
struct CoefficientRow {
    std::string_view param;
    std::string RatingCoefficients::*target;
};

// The order in which the weights are read.
constexpr std::array kCoefficients{
    CoefficientRow{"RAT_DOWN", &RatingCoefficients::down},
    CoefficientRow{"RAT_VOTES", &RatingCoefficients::votes},
    CoefficientRow{"RAT_LINKS", &RatingCoefficients::links},
    CoefficientRow{"RAT_PERSONA", &RatingCoefficients::persona},
    CoefficientRow{"RAT_ALTLINKS", &RatingCoefficients::altLinks},
};

const std::string kNotRecounted = " Рейтинги не пересчитывались, счётчики не тронуты.";

std::string readCoefficient(db::Connection& conn, std::string_view param)
{
    const std::string where = "where PARAM='" + std::string(param) + "'";
    const db::Rows rows = conn.query("select * from tbl_conf " + where);
    if (rows.empty())
        throw CoefficientError("В tbl_conf нет параметра " + std::string(param) + " (коэффициент рейтинга)." +
                               kNotRecounted);
    const auto row = rows.front();
    std::string value;
    if (const auto& text = row.text("VALUESTR")) {
        value = *text;
    } else if (const auto& number = row.text("VALUEINT")) {
        value = *number;
        conn.execute("update tbl_conf set VALUESTR='" + value + "' " + where);
    } else {
        throw CoefficientError("У параметра " + std::string(param) +
                               " в tbl_conf не заданы ни VALUESTR, ни VALUEINT (значение NULL)." + kNotRecounted);
    }
    if (value.empty())
        value = "0";
    if (!isPlainDecimal(value))
        throw CoefficientError("Коэффициент " + std::string(param) + " в tbl_conf имеет недопустимое значение «" +
                               value + "»: нужно десятичное число с точкой, например 2, 0.5 или -1." + kNotRecounted);
    return value;
}
} // namespace

bool isPlainDecimal(std::string_view text)
{
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    auto digitsFrom = [&](std::size_t& at) {
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at - start;
    };
    if (digitsFrom(i) == 0)
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (digitsFrom(i) == 0)
            return false;
    }
    return i == text.size();
}

RatingCoefficients readRatingCoefficients(db::Connection& conn)
{
    RatingCoefficients result;
    for (const CoefficientRow& c : kCoefficients)
        result.*c.target = readCoefficient(conn, c.param);
    return result;
}
