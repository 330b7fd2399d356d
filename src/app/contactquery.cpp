#include "app/contactquery.h"

#include <algorithm>
#include <charconv>

namespace {

const char* const orderAscending[] = {" order by id", " order by name", " order by person",
                                      " order by telephone", " order by mobile", " order by fax",
                                      " order by email"};
const char* const orderDescending[] = {" order by id desc", " order by name desc", " order by person desc",
                                       " order by telephone desc", " order by mobile desc",
                                       " order by fax desc", " order by email desc"};

std::string quoted(const std::string& v)
{
    std::string out = "'";
    for (char c : v) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

} // namespace

std::string TrimText(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        c = dbUpperAscii(c);  // the engine's upper(): byte positions stay put
    return s;
}

void ContactQuery::addCondition(const char* text, const std::string& value)
{
    if (first_) {
        query_.append(dbQueryElement::Text, text);
        text_ += text;
    } else {
        query_.append(dbQueryElement::Text, " and ");
        query_.append(dbQueryElement::Text, text);
        text_ += std::string(" and ") + text;
    }
    query_.append(dbQueryElement::ParamString, value.c_str());
    text_ += quoted(value);
    first_ = false;
}

void ContactQuery::Build(const ContactSearchFields& f)
{
    query_.reset();
    text_.clear();
    first_ = true;

    if (f.categoryIndex > 0) {
        category_ = f.categoryName.toStdString();
        addCondition("category!=null and category.name=", category_);
    }
    auto given = [](const QString& field, std::string& trimmed) {
        // Values are bound as zero-terminated texts: a NUL typed or pasted
        // into a field would cut the value short (and lose a trailing "%").
        trimmed = field.toStdString();
        trimmed.erase(std::remove(trimmed.begin(), trimmed.end(), '\0'), trimmed.end());
        trimmed = TrimText(trimmed);
        return !trimmed.empty();
    };
    std::string t;
    if (given(f.name, t)) {
        name_ = UpperAscii(t) + "%";
        addCondition("upper(name) like ", name_);
    }
    if (given(f.person, t)) {
        person_ = "%" + UpperAscii(t) + "%";
        addCondition("upper(person) like ", person_);
    }
    if (given(f.telephone, t)) {
        telephone_ = "%" + t + "%";
        addCondition("telephone like ", telephone_);
    }
    if (given(f.mobile, t)) {
        mobile_ = "%" + t + "%";
        addCondition("mobile like ", mobile_);
    }
    if (given(f.id, t)) {
        const char* b = t.data();
        const char* e = t.data() + t.size();
        if (*b == '+')
            ++b;
        auto [p, ec] = std::from_chars(b, e, id_);
        if (ec != std::errc() || p != e || b == e) {
            query_.reset();
            text_.clear();
            throw ContactSearchError("'" + f.id.toStdString() + "' is not a valid integer value");
        }
        const char* text = first_ ? "id=" : " and id=";
        query_.append(dbQueryElement::Text, text);
        query_.bind(id_);
        text_ += text + std::to_string(id_);
        first_ = false;
    }
    if (given(f.email, t)) {
        email_ = "%" + t + "%";
        addCondition("email like ", email_);
    }
    if (f.sortBy >= 0 && f.sortBy < 7) {
        const char* order = f.reverseSort ? orderDescending[f.sortBy] : orderAscending[f.sortBy];
        query_.append(dbQueryElement::Text, order);
        text_ += order;
    }
}
