# Tavrin TVS-90 series: update script for software packages of family kf4.
#
# Interpreted line by line by Tavrin Operator; each line runs as one
# command in the instrument's shell (user root). ${Name} and $Name are
# filled in by Tavrin Operator before a line is sent.

DeviceInfoSection: {{{
# model:serial:package:ui, read from the instrument's own files
Model=$(cat /tvs/etc/model)
Serial=$(cat /tvs/etc/serial)
Package=$(awk -F': *' 'tolower($1) == "package" {print $2}' /tvs/releases/package_version 2>/dev/null)
Ui=$(awk -F': *' 'tolower($1) == "ui" {print $2}' /tvs/releases/package_version 2>/dev/null)
ModelSerial=${Model}:${Serial}:${Package}:${Ui}
HostName=$(cat /proc/sys/kernel/hostname)
}}}

SetHostNameSection: {{{
# The new name arrives in HostName
if [ $(printf '%s' "${HostName}" | wc -c) -gt 63 ]; then
echo The hostname is longer than 63 characters
exit
fi
hostname "${HostName}"
printf '%s\n' "${HostName}" | tee /etc/hostname
echo Hostname is now $(hostname)
}}}

CheckUpdatePendingSection: {{{
# Pending: an upgrade was started but never confirmed after its restart
if [ -e /tvs/releases/update_pending ]; then
exit success
fi
exit
}}}

RollbackSection: {{{
SerialNumber=$(cat /tvs/etc/serial)
if [ ! -f /tvs/releases/previous/package_version ]; then
echo Nothing to restore: no earlier software is kept
exit
fi
echo Restoring package $(sed -n 's/^package: *//p' /tvs/releases/previous/package_version)
rm -rf /tvs/releases/current && cp -a /tvs/releases/previous/current /tvs/releases/current
cp -p /tvs/releases/previous/package_version /tvs/releases/package_version
rm -f /tvs/releases/update_pending
# NeedReboot is false when an upgrade follows at once and restarts anyway
if [ "${NeedReboot}" = "true" ]; then
reboot wait
else
echo Restart left to the upgrade that follows
fi
}}}

# Upgrade with the archive at SourceFilePath on the operator's computer
echo Sending ${SourceFileName} to ${RemoteIP}
scp $SourceFilePath $RemoteIP:/tmp/kf4_update.tgz
tar -tzf /tmp/kf4_update.tgz
rm -rf /tmp/kf4_update && mkdir -p /tmp/kf4_update && tar -xzf /tmp/kf4_update.tgz -C /tmp/kf4_update
Model=$(cat /tvs/etc/model)
Fits=$(grep -cx "${Model}" /tmp/kf4_update/models || true)
if [ "${Fits}" = "0" ]; then
echo This package does not support the ${Model}
exit version
fi
NewVersion=$(sed -n 's/^package: *//p' /tmp/kf4_update/package_version)
rm -rf /tvs/releases/previous && mkdir -p /tvs/releases/previous/current
cp -p /tvs/releases/package_version /tvs/releases/previous/package_version
[ ! -d /tvs/releases/current ] || cp -a /tvs/releases/current/. /tvs/releases/previous/current/
touch /tvs/releases/update_pending
# From here on a failure puts the previous software back
Rollback=yes
rm -rf /tvs/releases/current && cp -a /tmp/kf4_update/payload /tvs/releases/current
cp /tmp/kf4_update/package_version /tvs/releases/package_version
rm -rf /tmp/kf4_update /tmp/kf4_update.tgz
SerialNumber=$(cat /tvs/etc/serial)
reboot wait
sh /tvs/releases/current/bin/selftest
grep -qx "package: ${NewVersion}" /tvs/releases/package_version
rm -f /tvs/releases/update_pending
