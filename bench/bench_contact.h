// A contact as the benchmarks that fill the program's list make them, and
// the stored Customer that shows it; the Customer's texts point into the
// contact, which must outlive it.
#pragma once

#include "appcore/schema.h"

#include <string>

struct Contact {
    std::string name, person, telephone, mobile, fax, email, website, a1, a2, a3, remark;
    int id;
    double amount;
    std::string category = {};
    int categoryIndex = -1;  // -1: none
};

inline Customer customerOf(const Contact& c)
{
    Customer r;
    r.id = c.id;
    r.name = c.name.c_str();
    r.person = c.person.c_str();
    r.telephone = c.telephone.c_str();
    r.mobile = c.mobile.c_str();
    r.fax = c.fax.c_str();
    r.email = c.email.c_str();
    r.website = c.website.c_str();
    r.address1 = c.a1.c_str();
    r.address2 = c.a2.c_str();
    r.address3 = c.a3.c_str();
    r.remark = c.remark.c_str();
    r.amount = static_cast<real4>(c.amount);
    return r;
}
