#ifndef VD_XML_ENTITY_TABLE_H
#define VD_XML_ENTITY_TABLE_H

namespace vd {

constexpr unsigned kEntityBuckets = 130;
extern const char* const kEntityTable[kEntityBuckets];

}  // namespace vd

#endif
