#include "imagerecords.h"

std::vector<TMyRecord> ImageRecords;
