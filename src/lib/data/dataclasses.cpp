#include "lib/data/dataclasses.h"

#include "lib/data/arrayserver.h"
#include "lib/data/ftdate.h"
#include "lib/data/wildcard.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/fieldspec.h"
#include "platform/rdd/workarea.h"
#include "platform/runtime/error.h"
#include "platform/runtime/hyperlabel.h"

namespace lib {

void RegisterDataClasses() {
    rt::Error::StaticClass();
    rt::HyperLabel::StaticClass();
    rdd::FieldSpec::StaticClass();
    rdd::DataField::StaticClass();
    rdd::DataServer::StaticClass();
    rdd::DBServer::StaticClass();
    ArrayServer::StaticClass();
    FTDate::StaticClass();
    RegisterWildcard();
    rdd::InstallWorkAreas();
}

}  // namespace lib
