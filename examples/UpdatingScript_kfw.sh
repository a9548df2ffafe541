# Tavrin TVS-80 series: update script for software packages of family kfw.
#
# Tavrin Operator runs this file line by line over SSH as root on the
# instrument. Every line is one shell command there; variables assigned
# here are carried from line to line by Tavrin Operator, not by the shell.
# Layout on the instrument:
#   /tvs/etc/model, /tvs/etc/serial      identity, written at the factory
#   /tvs/releases/package_version        versions of the installed software
#   /tvs/releases/current/               the installed software
#   /tvs/releases/previous/              what the last upgrade replaced
#   /tvs/releases/update_pending         an upgrade that has not passed its
#                                        final check yet

DeviceInfoSection: {{{
# Identity shown by Tavrin Operator: model:serial:package:ui
Model=$(cat /tvs/etc/model)
Serial=$(cat /tvs/etc/serial)
Package=$(sed -n 's/^package: *//p' /tvs/releases/package_version 2>/dev/null)
Ui=$(sed -n 's/^ui: *//p' /tvs/releases/package_version 2>/dev/null)
ModelSerial=$Model:$Serial:$Package:$Ui
HostName=$(hostname)
}}}

SetHostNameSection: {{{
# HostName comes from the operator. The network stack takes letters,
# digits and inner hyphens, at most 63 characters.
if printf '%s' "$HostName" | grep -Eq '^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$'; then
echo Setting the hostname to $HostName
else
echo A hostname may hold letters, digits and hyphens only
exit
fi
hostname "$HostName"
printf '%s\n' "$HostName" | tee /etc/hostname
}}}

CheckUpdatePendingSection: {{{
# An upgrade that did not pass its final check leaves its mark behind
if [ -e /tvs/releases/update_pending ]; then
exit success
else
exit
fi
}}}

RollbackSection: {{{
# Put back the software that the last upgrade replaced
SerialNumber=$(cat /tvs/etc/serial)
if [ -f /tvs/releases/previous/package_version ]; then
echo Restoring the software saved by the last upgrade
else
echo No earlier software is kept on this instrument
exit
fi
rm -rf /tvs/releases/current && cp -a /tvs/releases/previous/current /tvs/releases/current
cp -p /tvs/releases/previous/package_version /tvs/releases/package_version
rm -f /tvs/releases/update_pending
if [ "$NeedReboot" = "true" ]; then
reboot wait
fi
}}}

# The upgrade. Tavrin Operator hands in SourceFilePath (the archive on the
# operator's computer), SourceFileName and RemoteIP.
echo Uploading $SourceFileName to the instrument at $RemoteIP
scp $SourceFilePath $RemoteIP:/tmp/tvs_update.tgz
# A damaged upload is refused before anything changes
gzip -t /tmp/tvs_update.tgz
rm -rf /tmp/tvs_update && mkdir -p /tmp/tvs_update && tar -xzf /tmp/tvs_update.tgz -C /tmp/tvs_update
Model=$(cat /tvs/etc/model)
NewVersion=$(sed -n 's/^package: *//p' /tmp/tvs_update/package_version)
if grep -qx "$Model" /tmp/tvs_update/models; then
echo Installing package $NewVersion on $Model
else
echo Package $NewVersion is not made for the $Model
rm -rf /tmp/tvs_update /tmp/tvs_update.tgz
exit version
fi
# Keep the running software for a rollback
rm -rf /tvs/releases/previous && mkdir -p /tvs/releases/previous/current
cp -p /tvs/releases/package_version /tvs/releases/previous/package_version
[ ! -d /tvs/releases/current ] || cp -a /tvs/releases/current/. /tvs/releases/previous/current/
touch /tvs/releases/update_pending
Rollback=true
rm -rf /tvs/releases/current && cp -a /tmp/tvs_update/payload /tvs/releases/current
cp /tmp/tvs_update/package_version /tvs/releases/package_version
rm -rf /tmp/tvs_update /tmp/tvs_update.tgz
SerialNumber=$(cat /tvs/etc/serial)
reboot wait
# The new software must pass its own check after the restart
sh /tvs/releases/current/bin/selftest
grep -qx "package: $NewVersion" /tvs/releases/package_version
rm -f /tvs/releases/update_pending
echo Package $NewVersion is installed
