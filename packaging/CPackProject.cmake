# Included by cpack for each generator (CPACK_PROJECT_CONFIG_FILE), before
# it packs anything. Zip entries carry local time: pack in UTC, so that the
# bytes do not depend on the builder's time zone. The DEB generator dates
# its entries at SOURCE_DATE_EPOCH, and strip (CPACK_STRIP_FILES) writes it
# as the time stamp of a Windows program it rewrites, instead of the time of
# the build.
set(ENV{TZ} UTC)
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_LDT_SOURCE_DATE_EPOCH}")
