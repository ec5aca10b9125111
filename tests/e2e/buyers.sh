# Buyers: payment messages made and signed in the test as PayPal (confirmed by a local stub of
# its confirmation address), Stripe and a shop's webhook would send them give a buyer and an
# e-mail with their link exactly when they should; refunds revoke; the personal-data tools
# export and erase buyers. The database is read with SQL beside WordPress, so a check never runs
# the plugin's own code to see what it did. Sourced by run_e2e.sh, which provides fetch, verdict,
# the P_* tables, wp_php, wp_sql, WP_MAIL_LOG and the WordPress addresses.

source "$E2E_DIR/browser.sh"

PAYMENTS="$E2E_DIR/php/payment_messages.php"
STUB_PID= STUB_URL= STUB_DIR=
STRIPE_SECRET=whsec_e2eTestSigningSecret0123456789
HOOK_SECRET=e2e-hook-secret-0123456789abcdef

# Serves php/paypal_stub.php on 127.0.0.1, on the first free port from WP_PORT + 100; the port
# counts as the stub's once it answers this run's token.
start_paypal_stub() {
    local port=$((WP_PORT + 100)) token attempt i
    STUB_DIR=$RUN/paypal-stub
    mkdir -p "$STUB_DIR"
    token="stub-$RANDOM$RANDOM"
    echo VERIFIED > "$STUB_DIR/answer"
    for attempt in $(seq 1 20); do
        STUB_DIR=$STUB_DIR STUB_TOKEN=$token setsid timeout 600 php -S "127.0.0.1:$port" "$E2E_DIR/php/paypal_stub.php" \
            >> "$RUN/log/paypal-stub.log" 2>&1 < /dev/null &
        STUB_PID=$!
        for i in $(seq 1 50); do
            kill -0 "$STUB_PID" 2> /dev/null || break
            if [ "$(curl -s --max-time 2 "http://127.0.0.1:$port/ping")" = "$token" ]; then
                STUB_URL=http://127.0.0.1:$port/cgi-bin/webscr
                return 0
            fi
            sleep 0.1
        done
        kill -TERM "$STUB_PID" 2> /dev/null
        wait "$STUB_PID" 2> /dev/null
        STUB_PID= port=$((port + 1))
    done
    return 1
}

stop_paypal_stub() { # by its PID; `timeout` passes TERM on to the server
    [ -n "${STUB_PID:-}" ] || return 0
    kill -TERM "$STUB_PID" 2> /dev/null
    wait "$STUB_PID" 2> /dev/null
    STUB_PID=
}

buyer_count() { wp_sql "SELECT COUNT(*) FROM wp_${1}_buyers"; } # buyer_count ID
mail_count() { if [ -f "$WP_MAIL_LOG" ]; then wc -l < "$WP_MAIL_LOG"; else echo 0; fi; }
# The last captured e-mail's FIELD (to, subject, message).
last_mail() { tail -n 1 "$WP_MAIL_LOG" | php -r '$m = json_decode(stream_get_contents(STDIN), true); echo is_array($m[$argv[1]]) ? implode(",", $m[$argv[1]]) : $m[$argv[1]];' "$1"; }
# The last request the PayPal stub got: its FIELD (uri or body).
stub_request() { tail -n 1 "$STUB_DIR/requests.jsonl" | php -r 'echo json_decode(stream_get_contents(STDIN), true)[$argv[1]];' "$1"; }
sha256() { printf '%s' "$1" | sha256sum | cut -d' ' -f1; }

# send OUT URL BODY [CURL ARGS...]: POSTs BODY byte for byte; prints the status.
send() {
    local out=$1 url=$2 body=$3
    shift 3
    printf '%s' "$body" > "$out.sent"
    fetch "$out" "$url" --data-binary "@$out.sent" "$@"
}

# stripe_send OUT URL EVENT SECRET TIME: the event signed as Stripe signs, with SECRET at TIME.
stripe_send() {
    local sig
    printf '%s' "$3" > "$1.sent"
    sig=$(php "$PAYMENTS" stripe-signature "$4" "$5" "$1.sent")
    send "$1" "$2" "$3" -H "Stripe-Signature: $sig" -H 'Content-Type: application/json'
}

# refused KEY WHAT WANT_STATUS OUT URL BODY [CURL ARGS...]: the message gets WANT_STATUS and
# adds no buyer and sends no e-mail.
refused() {
    local key=$1 what=$2 want=$3 out=$4 url=$5 body=$6 id=${P_ID[$1]} buyers mails code
    shift 6
    buyers=$(buyer_count "$id") mails=$(mail_count)
    code=$(send "$out" "$url" "$body" "$@")
    [ "$code" = "$want" ] && [ "$(buyer_count "$id")" = "$buyers" ] && [ "$(mail_count)" = "$mails" ]
    verdict "$key: $what gets $want, and gives no buyer and no e-mail" $? \
        "$code, buyers $buyers -> $(buyer_count "$id"), e-mails $mails -> $(mail_count): $(head -c 300 "$out")"
}

# granted KEY WHAT WANT_STATUS OUT PAYMENT_ID EMAIL: the message just sent got WANT_STATUS and
# added one buyer for PAYMENT_ID and one e-mail to EMAIL, whose link holds a token of which
# only the SHA-256 is stored. Sets TOKEN.
granted() {
    local key=$1 what=$2 want=$3 out=$4 payment=$5 email=$6 code=$7 buyers=$8 mails=$9 id=${P_ID[$1]} link hash
    link=$(last_mail message | grep -o "http[^ ]*[?&]${id}_t=[0-9a-f]*" | head -n 1)
    TOKEN=${link##*_t=}
    hash=$(wp_sql "SELECT token_hash FROM wp_${id}_buyers WHERE payment_id = '$payment' AND email = '$email'")
    [ "$code" = "$want" ] && [ "$(buyer_count "$id")" = $((buyers + 1)) ] && [ "$(mail_count)" = $((mails + 1)) ] &&
        [ "$(last_mail to)" = "$email" ] && [ ${#TOKEN} = 64 ] && [ "$hash" = "$(sha256 "$TOKEN")" ] &&
        [ -z "$(wp_sql "SELECT id FROM wp_${id}_buyers WHERE token_hash = '$TOKEN'")" ]
    verdict "$key: $what gets $want, one buyer and one e-mail to them with their link; only the token's SHA-256 is stored" $? \
        "$code, buyers $buyers -> $(buyer_count "$id"), e-mails $mails -> $(mail_count), to '$(last_mail to)', link '$link', stored '$hash': $(head -c 300 "$out")"
}

check_buyers() { # check_buyers KEY
    local key=$1 id=${P_ID[$1]} post=${P_POST[$1]} tables settings paypal stripe hook body code buyers mails
    local now event sig link exported erased

    wp_sql "DROP TABLE wp_${id}_buyers, wp_${id}_downloads; DELETE FROM wp_options WHERE option_name = '${id}_buyers_db_version'"
    fetch "$RUN/pages/home.html" "$B/" > /dev/null
    tables=$(wp_sql "SHOW TABLES WHERE Tables_in_wp IN ('wp_${id}_buyers', 'wp_${id}_downloads')" | sort | tr '\n' ' ')
    [ "$tables" = "wp_${id}_buyers wp_${id}_downloads " ] &&
        [ "$(wp_sql "SELECT option_value FROM wp_options WHERE option_name = '${id}_buyers_db_version'")" = 1 ]
    verdict "$key: tables that went missing (as after an update by upload) are made again on the next request" $? "'$tables'"

    settings=$(wp_php funnel-settings "$id" "$post" "{\"paypal_email\":\"seller@example.invalid\",\"item\":\"balcony-1\",\"price\":\"9,90\",\"currency\":\"eur\",\"sandbox\":true,\"stripe_secret\":\"$STRIPE_SECRET\",\"webhook_secret\":\"$HOOK_SECRET\"}" 2>&1)
    [[ "$settings" == *'"price":"9.90","currency":"EUR"'* ]] && [[ "$settings" == *'"link_window":86400,"access_expiry":0,"downloads_per_file":10'* ]]
    verdict "$key: the funnel's payment settings save, in canonical form, with the defaults for the rest" $? "$settings"

    start_paypal_stub
    verdict "a local stub answers for PayPal's confirmation address on 127.0.0.1" $? "see $RUN/log/paypal-stub.log"
    wp_php paypal-stub "$id" "$STUB_URL"
    paypal=$(wp_php listener-url "$id" paypal "$post")
    stripe=$(wp_php listener-url "$id" stripe "$post")
    hook=$(wp_php listener-url "$id" webhook "$post")

    buyers=$(buyer_count "$id") mails=$(mail_count)
    body=$(php "$PAYMENTS" ipn txn_id=E2E0000000000001 custom=claim-one payer_email=buyer.one@example.invalid)
    code=$(send "$RUN/pages/ipn" "$paypal" "$body")
    granted "$key" "a PayPal payment that PayPal confirms" 200 "$RUN/pages/ipn" E2E0000000000001 buyer.one@example.invalid "$code" "$buyers" "$mails"
    [ "$(stub_request body)" = "cmd=_notify-validate&$body" ] &&
        [ "$(stub_request uri)" = "/cgi-bin/webscr?was=$(php -r 'echo rawurlencode("https://ipnpb.sandbox.paypal.com/cgi-bin/webscr");')" ]
    verdict "$key: the message went back to PayPal for confirmation byte for byte, at the sandbox address the funnel chose" $? \
        "$(tail -n 1 "$STUB_DIR/requests.jsonl" | head -c 400)"
    [[ "$(last_mail subject)" == *"${P_TITLE[$key]}"* ]] && [[ "$(last_mail message)" == *"${P_TITLE[$key]}"* ]] &&
        [ "$(wp_sql "SELECT CONCAT_WS(' ', source, claim_ref, revoked, expires) FROM wp_${id}_buyers WHERE payment_id = 'E2E0000000000001'")" = "paypal claim-one 0 0" ]
    verdict "$key: the e-mail names the funnel; the buyer is kept with their source and claim reference, not revoked, not expiring" $? \
        "subject '$(last_mail subject)'"

    echo INVALID > "$STUB_DIR/answer"
    refused "$key" "a PayPal message that PayPal answers INVALID" 400 "$RUN/pages/ipn" "$paypal" \
        "$(php "$PAYMENTS" ipn txn_id=E2E0000000000002 payer_email=forger@example.invalid)"
    echo VERIFIED > "$STUB_DIR/answer"
    refused "$key" "a confirmed PayPal payment to another account" 200 "$RUN/pages/ipn" "$paypal" \
        "$(php "$PAYMENTS" ipn txn_id=E2E0000000000003 receiver_email=thief@example.invalid business=thief@example.invalid receiver_id=THIEF0000000X)"
    refused "$key" "a confirmed PayPal payment of a smaller amount" 200 "$RUN/pages/ipn" "$paypal" \
        "$(php "$PAYMENTS" ipn txn_id=E2E0000000000004 mc_gross=0.99)"
    refused "$key" "a confirmed PayPal payment in another currency" 200 "$RUN/pages/ipn" "$paypal" \
        "$(php "$PAYMENTS" ipn txn_id=E2E0000000000005 mc_currency=USD)"
    refused "$key" "a confirmed PayPal payment sent again (a txn_id seen before)" 200 "$RUN/pages/ipn" "$paypal" "$body"
    refused "$key" "a PayPal message to an address that names no funnel" 404 "$RUN/pages/ipn" "${paypal%/*}/1" \
        "$(php "$PAYMENTS" ipn txn_id=E2E0000000000006)"
    wp_php payment-notes "$id" "$post" > "$RUN/log/payment-notes.txt" 2>&1
    grep -q $'^paypal\trefused\t.*0\\.99 EUR.*9\\.90 EUR' "$RUN/log/payment-notes.txt" &&
        grep -q $'^paypal\trefused\t.*did not confirm' "$RUN/log/payment-notes.txt" &&
        grep -q $'^paypal\tignored\t.*E2E0000000000001 has given access already' "$RUN/log/payment-notes.txt"
    verdict "$key: the owner's payment notes say why each of those payments gave no access" $? "$(head -c 600 "$RUN/log/payment-notes.txt")"

    buyers=$(buyer_count "$id") mails=$(mail_count)
    code=$(send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2E0000000000009 parent_txn_id=E2E0000000000001 \
        payment_status=Refunded mc_gross=-9.90 reason_code=refund payer_email=buyer.one@example.invalid)")
    [ "$code" = 200 ] && [ "$(wp_sql "SELECT revoked > 0 FROM wp_${id}_buyers WHERE payment_id = 'E2E0000000000001'")" = 1 ] &&
        [ "$(buyer_count "$id")" = "$buyers" ] && [ "$(mail_count)" = "$mails" ]
    verdict "$key: a confirmed PayPal refund revokes the buyer of the payment" $? "$code: $(head -c 300 "$RUN/pages/ipn")"

    now=$(date +%s)
    buyers=$(buyer_count "$id") mails=$(mail_count)
    event=$(php "$PAYMENTS" stripe-session cs_test_e2e1 pi_e2e1 990 eur buyer.two@example.invalid)
    code=$(stripe_send "$RUN/pages/stripe" "$stripe" "$event" "$STRIPE_SECRET" "$now")
    granted "$key" "a paid Stripe Checkout event signed with the funnel's secret" 200 "$RUN/pages/stripe" pi_e2e1 buyer.two@example.invalid "$code" "$buyers" "$mails"
    [ "$(wp_sql "SELECT claim_ref FROM wp_${id}_buyers WHERE payment_id = 'pi_e2e1'")" = cs_test_e2e1 ]
    verdict "$key: a Stripe buyer is found by their Checkout Session, for the page they return to" $?
    printf '%s' "$event" > "$RUN/pages/event.json"
    refused "$key" "a Stripe event sent again with a fresh signature" 200 "$RUN/pages/stripe" "$stripe" "$event" \
        -H "Stripe-Signature: $(php "$PAYMENTS" stripe-signature "$STRIPE_SECRET" $((now + 1)) "$RUN/pages/event.json")"
    event=$(php "$PAYMENTS" stripe-session cs_test_e2e2 pi_e2e2 990 eur forger@example.invalid)
    printf '%s' "$event" > "$RUN/pages/event.json"
    refused "$key" "a Stripe event signed with another secret" 400 "$RUN/pages/stripe" "$stripe" "$event" \
        -H "Stripe-Signature: $(php "$PAYMENTS" stripe-signature whsec_notTheFunnelsSecret012345 "$now" "$RUN/pages/event.json")"
    refused "$key" "a Stripe event signed ten minutes ago" 400 "$RUN/pages/stripe" "$stripe" "$event" \
        -H "Stripe-Signature: $(php "$PAYMENTS" stripe-signature "$STRIPE_SECRET" $((now - 600)) "$RUN/pages/event.json")"
    refused "$key" "a Stripe event changed after signing" 400 "$RUN/pages/stripe" "$stripe" "${event/forger/other}" \
        -H "Stripe-Signature: $(php "$PAYMENTS" stripe-signature "$STRIPE_SECRET" "$now" "$RUN/pages/event.json")"
    refused "$key" "a Stripe event without a signature" 400 "$RUN/pages/stripe" "$stripe" "$event"
    event=$(php "$PAYMENTS" stripe-session cs_test_e2e3 pi_e2e3 99 eur cheap@example.invalid)
    printf '%s' "$event" > "$RUN/pages/event.json"
    refused "$key" "a signed Stripe event of a smaller amount" 200 "$RUN/pages/stripe" "$stripe" "$event" \
        -H "Stripe-Signature: $(php "$PAYMENTS" stripe-signature "$STRIPE_SECRET" "$now" "$RUN/pages/event.json")"
    code=$(stripe_send "$RUN/pages/stripe" "$stripe" "$(php "$PAYMENTS" stripe-refund pi_e2e1)" "$STRIPE_SECRET" "$now")
    [ "$code" = 200 ] && [ "$(wp_sql "SELECT revoked > 0 FROM wp_${id}_buyers WHERE payment_id = 'pi_e2e1'")" = 1 ]
    verdict "$key: a signed charge.refunded event revokes the Stripe buyer" $? "$code: $(head -c 300 "$RUN/pages/stripe")"

    buyers=$(buyer_count "$id") mails=$(mail_count)
    body='{"email":"buyer.three@example.invalid","payment_id":"shop-1001"}'
    printf '%s' "$body" > "$RUN/pages/hook.json"
    sig=$(php "$PAYMENTS" webhook-signature "$HOOK_SECRET" "$RUN/pages/hook.json")
    code=$(send "$RUN/pages/hook" "$hook" "$body" -H "X-Webhook-Signature: $sig" -H 'Content-Type: application/json')
    granted "$key" "a webhook call signed with the funnel's secret" 201 "$RUN/pages/hook" shop-1001 buyer.three@example.invalid "$code" "$buyers" "$mails"
    link=$(php -r 'echo json_decode(file_get_contents($argv[1]), true)["link"] ?? "";' "$RUN/pages/hook")
    [ -n "$link" ] && [[ "$(last_mail message)" == *"$link"* ]]
    verdict "$key: the webhook answers with the same link the e-mail holds" $? "'$link'"
    body='{"email":"forger@example.invalid","payment_id":"shop-1002"}'
    printf '%s' "$body" > "$RUN/pages/hook.json"
    refused "$key" "a webhook call signed with another secret" 401 "$RUN/pages/hook" "$hook" "$body" \
        -H "X-Webhook-Signature: $(php "$PAYMENTS" webhook-signature not-the-funnels-secret "$RUN/pages/hook.json")"
    refused "$key" "a webhook call whose body changed after signing" 401 "$RUN/pages/hook" "$hook" "${body/1002/1003}" \
        -H "X-Webhook-Signature: $(php "$PAYMENTS" webhook-signature "$HOOK_SECRET" "$RUN/pages/hook.json")"
    refused "$key" "a webhook call without a signature" 401 "$RUN/pages/hook" "$hook" "$body"

    # A download of buyer one, as the streamer logs it, for the export and the erasure to find.
    wp_sql "INSERT INTO wp_${id}_downloads (buyer_id, funnel_id, file, first_byte, bytes_sent, sent)
        SELECT id, funnel_id, 'files/guide.pdf', 0, 3145728, UNIX_TIMESTAMP() FROM wp_${id}_buyers WHERE email = 'buyer.one@example.invalid'"
    exported=$(wp_php privacy-export buyer.one@example.invalid 2>&1)
    grep -q $'^'"$id"$'-buyers\t.*\tPayment id\tE2E0000000000001$' <<< "$exported" &&
        grep -q $'\tDownloads\t.*files/guide.pdf' <<< "$exported" && ! grep -qE 'buyer\.(two|three)|pi_e2e1|shop-1001' <<< "$exported"
    verdict "$key: WordPress's personal-data export lists the buyer's purchase and downloads, and nobody else's" $? "$(head -c 600 <<< "$exported")"
    erased=$(wp_php privacy-erase buyer.one@example.invalid 2>&1)
    [ "$(wp_sql "SELECT COUNT(*) FROM wp_${id}_buyers WHERE email = 'buyer.one@example.invalid'")" = 0 ] &&
        [ "$(wp_sql "SELECT COUNT(*) FROM wp_${id}_downloads d LEFT JOIN wp_${id}_buyers b ON b.id = d.buyer_id WHERE b.id IS NULL")" = 0 ] &&
        [ "$(wp_sql "SELECT COUNT(*) FROM wp_${id}_buyers WHERE email IN ('buyer.two@example.invalid', 'buyer.three@example.invalid')")" = 2 ] &&
        [[ "$erased" == *$'\t1\tremoved'* ]]
    verdict "$key: WordPress's personal-data erasure removes the buyer and their download log, and nobody else" $? "$erased"

    check_paid "$key" "$paypal" "$stripe"
    stop_paypal_stub
}

# link_in_last_mail ID: the buyer's link the last captured e-mail holds.
link_in_last_mail() { last_mail message | grep -o "http[^ ]*[?&]${1}_t=[0-9a-f]*" | head -n 1; }
buyer_id_of() { wp_sql "SELECT id FROM wp_${1}_buyers WHERE payment_id = '$2'"; } # buyer_id_of ID PAYMENT

# themed_refusal KEY WHAT URL WANT_STATUS REASON ADVICE [CURL ARGS...]: URL gets WANT_STATUS and
# the refusal page in the site's own look with REASON and then ADVICE (what the buyer can do, in
# place of the line meant for a wrong key), no e-mail address, and neither the download links
# nor a byte of a delivery file.
themed_refusal() {
    local key=$1 what=$2 url=$3 want=$4 reason=$5 advice=$6 page="$RUN/pages/paid-refusal.html" code said file leaked=""
    shift 6
    code=$(fetch "$page" "$url" "$@")
    said=$(php "$INSPECT" value "$page" "//main" | tr -s ' \n\t' ' ')
    while IFS= read -r file; do
        grep -qaF "$(head -c 64 "${P_SITE[$key]}/$file" | tail -c 16)" "$page" && leaked="$leaked $file"
    done < <(delivered_files "$key")
    [ "$code" = "$want" ] && [[ "$said" == *"$reason"*"$advice"* ]] && [[ "$said" != *"get the current address"* ]] &&
        ! grep -qE '[[:alnum:]._-]+@[[:alnum:]-]+\.' <<< "$said" && [ -z "$leaked" ] && ! grep -qF "${P_BACK_TAG[$key]}" "$page" &&
        [ "$(php "$INSPECT" count "$page" "//header[contains(@class,'wp-block-template-part')]")" -gt 0 ] &&
        [ "$(header_of "$page" cache-control)" = "private, no-store" ]
    verdict "$key: $what gets $want and the themed refusal saying why" $? "$code, said '$(head -c 300 <<< "$said")'$leaked"
}

# signed_file_url KEY BUYER FILE EXPIRES: a file link signed with the site's secret as the plugin
# signs it (HMAC-SHA256 of its parts, one a line), here with an expiry of the test's choosing.
signed_file_url() {
    local id=${P_ID[$1]} post=${P_POST[$1]} secret sig
    secret=$(wp_sql "SELECT option_value FROM wp_options WHERE option_name = '${id}_secret'")
    sig=$(php -r 'echo hash_hmac("sha256", implode("\n", array("file-link", $argv[2], $argv[3], $argv[4], $argv[5])), $argv[1]);' \
        "$secret" "$2" "$post" "$4" "$3")
    echo "$B/?post_type=${id,,}&p=$post&${id}_file=$(php -r 'echo rawurlencode($argv[1]);' "$3")&${id}_b=$2&${id}_exp=$4&${id}_sig=$sig"
}

# check_paid KEY PAYPAL_LISTENER: the funnel switched to Paid on its edit screen opens only to
# confirmed buyers, each through their own link, and hands out files only through signed links;
# nothing public carries a key or a token.
check_paid() {
    local key=$1 paypal=$2 stripe=$3 id=${P_ID[$1]} post=${P_POST[$1]} type=${P_ID[$1],,} edit="$RUN/pages/paid-edit.html"
    local keyed file url code link page bad="" buyer sizes logged front claim ref leaks="" public secrets want said name

    fetch "$RUN/pages/paid-new.html" "$A/wp-admin/post-new.php?post_type=$type" -b "$JAR" > /dev/null
    [ "$(php "$INSPECT" value "$RUN/pages/paid-new.html" "//input[@name='${id}_mode' and @checked]/@value")" = paid ]
    verdict "$key: a new funnel starts Paid" $?
    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=$post&action=edit" "${id}_mode=paid" "${id}_pay[downloads_per_file]=2" \
        "${id}_pay[link_window]=600" "save=Update" > /dev/null
    fetch "$edit" "$A/wp-admin/post.php?post=$post&action=edit" -b "$JAR" > /dev/null
    keyed=$(php "$INSPECT" value "$edit" "//input[@id='${id}_download_url']/@value")
    [ "$(php "$INSPECT" value "$edit" "//input[@name='${id}_mode' and @checked]/@value")" = paid ] &&
        [ "$(php "$INSPECT" value "$edit" "//input[@id='${id}_pay_link_window']/@value")" = 600 ] && [[ "$keyed" == *"${id}_key="* ]]
    verdict "$key: the edit screen switches the funnel to Paid and saves its payment settings" $? "keyed '$keyed'"
    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=$post&action=edit" "${id}_pay[link_window]=5" "${id}_pay[price]=abc" \
        "save=Update" > /dev/null
    fetch "$edit" "$A/wp-admin/post.php?post=$post&action=edit" -b "$JAR" > /dev/null
    said=$(php "$INSPECT" value "$edit" "//div[contains(@class,'notice-error')]" | tr -s ' \n\t' ' ')
    [[ "$said" == *"between 5 minutes and 30 days"* ]] && [[ "$said" == *"such as 9.90"* ]] &&
        [ "$(php "$INSPECT" value "$edit" "//input[@id='${id}_pay_link_window']/@value")" = 600 ] &&
        [ "$(php "$INSPECT" value "$edit" "//input[@id='${id}_pay_price']/@value")" = 9.90 ]
    verdict "$key: settings that are not valid are named on the screen and keep their saved values" $? "'$said'"

    file=$(delivered_files "$key" | head -n 1)
    themed_refusal "$key" "the funnel's keyed address, in Paid mode," "$keyed" 403 "only through a buyer's own link" \
        "please open your own download link (from your e-mail)"
    themed_refusal "$key" "a keyed file address, in Paid mode," "$keyed&${id}_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")" 403 \
        "only through a buyer's own link" "please open your own download link (from your e-mail)"

    # A buyer's e-mail link opens their page; its file links are signed and download byte for byte.
    code=$(send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000001 payer_email=paid.one@example.invalid)")
    link=$(link_in_last_mail "$id")
    buyer=$(buyer_id_of "$id" E2EPAID00000001)
    page="$RUN/pages/paid-buyer.html"
    [ "$code" = 200 ] && [ -n "$buyer" ] && [ "$(fetch "$page" "$link")" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$page" &&
        [ "$(header_of "$page" cache-control)" = "private, no-store" ]
    verdict "$key: the link in a PayPal buyer's e-mail opens the download page with the download links" $? "$code, buyer '$buyer', link '$link'"
    sizes=0
    while IFS= read -r name; do
        url=$(php "$INSPECT" value "$page" "//a[contains(@href, '_file=$(php -r 'echo rawurlencode($argv[1]);' "$name")')]/@href")
        code=$(fetch "$RUN/pages/paid-file" "$url")
        sizes=$((sizes + $(stat -c %s "${P_SITE[$key]}/$name")))
        [[ "$url" == *"${id}_sig="* ]] && [[ "$url" != *"${id}_key="* ]] && [[ "$url" != *"${link##*=}"* ]] && [ "$code" = 200 ] &&
            cmp -s "$RUN/pages/paid-file" "${P_SITE[$key]}/$name" || bad="$bad $name($code '$url')"
    done < <(delivered_files "$key")
    logged=$(wp_sql "SELECT CONCAT(COUNT(*), ' ', SUM(bytes_sent), ' ', MIN(funnel_id)) FROM wp_${id}_downloads WHERE buyer_id = '$buyer'")
    [ -z "$bad" ] && [ "$logged" = "$(delivered_files "$key" | wc -l) $sizes $post" ]
    verdict "$key: every delivery file downloads byte for byte through the buyer's signed file links, and each download is logged" $? \
        "${bad# }; logged '$logged' for $sizes bytes"

    url=$(php "$INSPECT" value "$page" "//a[contains(@href, '_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")')]/@href")
    themed_refusal "$key" "a file link with a changed signature" "${url%?}$([ "${url: -1}" = 0 ] && echo 1 || echo 0)" 403 "not valid" \
        "open your own download link again (from your e-mail)"
    themed_refusal "$key" "a file link of another buyer" "${url/${id}_b=$buyer/${id}_b=$((buyer + 1))}" 403 "not valid" "open your own download link again (from your e-mail)"
    themed_refusal "$key" "a file link past its window" "$(signed_file_url "$key" "$buyer" "$file" $(($(date +%s) - 5)))" 410 "has run out" \
        "open your own download link again (from your e-mail)"
    fetch "$RUN/pages/paid-file" "$url" > /dev/null
    themed_refusal "$key" "a third download of a file allowed twice" "$url" 403 "as often as this purchase allows" \
        "write to the seller the way you bought: they can give you new access"
    check_download_race "$key" "$paypal" "$file"
    send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000009 parent_txn_id=E2EPAID00000001 payment_status=Refunded \
        mc_gross=-9.90 payer_email=paid.one@example.invalid)" > /dev/null
    themed_refusal "$key" "a refunded buyer's link" "$link" 403 "withdrawn" "write to the seller the way you bought: they can give you new access"
    themed_refusal "$key" "a refunded buyer's file link" "$(signed_file_url "$key" "$buyer" "$file" $(($(date +%s) + 60)))" 403 "withdrawn" \
        "write to the seller the way you bought: they can give you new access"

    # The claim page: the sales page's buy button returns to it with this showing's own reference.
    front="$RUN/pages/paid-front.html"
    fetch "$front" "${P_PERMALINK[$key]}" > /dev/null
    claim=$(return_address "$front")
    ref=${claim##*_claim=}
    code=$(fetch "$RUN/pages/paid-claim.html" "$claim")
    [[ "$claim" == *"${id}_claim="* ]] && [ ${#ref} = 32 ] && [ "$code" = 200 ] && grep -q 'Confirming your payment' "$RUN/pages/paid-claim.html" &&
        [[ "$(header_of "$RUN/pages/paid-claim.html" refresh)" == 5\;* ]] && [ "$(header_of "$front" cache-control)" = "private, no-store" ] &&
        ! grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-claim.html"
    verdict "$key: before the payment is confirmed the claim page says it is confirming and looks again, and shows nothing of the download page" $? \
        "'$claim' -> $code"
    send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000002 custom="$ref" payer_email=paid.two@example.invalid)" > /dev/null
    code=$(fetch "$RUN/pages/paid-claim.html" "$claim")
    url=$(header_of "$RUN/pages/paid-claim.html" location)
    [ "$code" = 303 ] && [[ "$url" == *"${id}_sig="* ]] && [ "$(fetch "$RUN/pages/paid-claimed.html" "$url")" = 200 ] &&
        grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-claimed.html"
    verdict "$key: once PayPal confirmed the payment, the claim page takes the buyer on to their download page" $? "$code -> '$url'"
    code=$(fetch "$RUN/pages/paid-claim.html" "${claim%_claim=*}_claim=$(printf '%032d' 7)")
    [ "$code" = 200 ] && grep -q 'Confirming your payment' "$RUN/pages/paid-claim.html"
    verdict "$key: a claim page with another reference does not lead to anybody's downloads" $? "$code"
    # Ranges that never begin at the first byte count against the limit by the bytes they carry.
    url=$(php "$INSPECT" value "$RUN/pages/paid-claimed.html" "//a[contains(@href, '_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")')]/@href")
    for code in 1 2 3; do code=$(fetch "$RUN/pages/paid-part" "$url" -H 'Range: bytes=1-'); [ "$code" = 206 ] || break; done
    [ "$code" = 206 ] && cmp -s "$RUN/pages/paid-part" <(tail -c +2 "${P_SITE[$key]}/$file")
    verdict "$key: a buyer's file link answers ranges" $? "$code"
    themed_refusal "$key" "a range after three ranges that carried more than the two downloads allowed" "$url" 403 \
        "as often as this purchase allows" "write to the seller the way you bought: they can give you new access" -H 'Range: bytes=1-'
    link=$(link_in_last_mail "$id")
    wp_sql "UPDATE wp_${id}_buyers SET expires = UNIX_TIMESTAMP() - 60 WHERE payment_id = 'E2EPAID00000002'"
    themed_refusal "$key" "a buyer's link after their access time" "$link" 410 "access time of this purchase is over" \
        "write to the seller the way you bought: they can give you new access"

    # Nothing public holds the key, a token or a signed link.
    secrets=("${keyed##*=}" "${link##*=}" "${id}_sig=" "${id}_t=" "${id}_key=")
    for public in "${P_PERMALINK[$key]}" "$B/?feed=rss2" "$B/?post_type=$type&feed=rss2" "$B/wp-sitemap.xml" \
        "$B/?sitemap=posts&sitemap-subtype=$type&paged=1" "$B/?s=Balcony" "$B/?rest_route=/wp/v2/search&search=Balcony" \
        "$B/?rest_route=/wp/v2/$type" "$B/?rest_route=/" "$B/xmlrpc.php?rsd"; do
        fetch "$RUN/pages/public" "$public" > /dev/null
        for want in "${secrets[@]}"; do grep -qF "$want" "$RUN/pages/public" && leaks="$leaks $public($want)"; done
    done
    [ -z "$leaks" ]
    verdict "$key: in Paid mode the sales page, feeds, sitemaps, search and the REST API hold no key, token or signed link" $? "$leaks"

    check_add_by_hand "$key"
    check_paid_returns "$key" "$paypal" "$stripe"
    check_paid_in_browser "$key" "$paypal"
    check_old_funnels_free "$key"
}

# check_download_race KEY PAYPAL FILE: six requests at once for a file a new buyer may download
# twice, each reported only a second after its last byte (as a large file's would be), give the
# file twice and the refusal four times: the limit holds however many are in flight.
check_download_race() {
    local key=$1 paypal=$2 file=$3 id=${P_ID[$1]} page="$RUN/pages/paid-race.html" url n full=0 refused=0 logged
    local -a pids=()
    send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000005 payer_email=paid.five@example.invalid)" > /dev/null
    fetch "$page" "$(link_in_last_mail "$id")" > /dev/null
    url=$(php "$INSPECT" value "$page" "//a[contains(@href, '_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")')]/@href")
    for n in 1 2 3 4 5 6; do
        fetch "$RUN/pages/paid-race-$n" "$url" -H "X-E2E-Slow-Report: $id" > "$RUN/pages/paid-race-$n.status" &
        pids+=($!)
    done
    wait "${pids[@]}"
    for n in 1 2 3 4 5 6; do
        if [ "$(cat "$RUN/pages/paid-race-$n.status")" = 200 ] && cmp -s "$RUN/pages/paid-race-$n" "${P_SITE[$key]}/$file"; then
            full=$((full + 1))
        elif [ "$(cat "$RUN/pages/paid-race-$n.status")" = 403 ] && grep -q 'as often as this purchase allows' "$RUN/pages/paid-race-$n"; then
            refused=$((refused + 1))
        fi
    done
    logged=$(wp_sql "SELECT CONCAT(COUNT(*), ' ', SUM(bytes_sent)) FROM wp_${id}_downloads WHERE buyer_id = $(buyer_id_of "$id" E2EPAID00000005)")
    [ "$full" = 2 ] && [ "$refused" = 4 ] && [ "$logged" = "2 $((2 * $(stat -c %s "${P_SITE[$key]}/$file")))" ]
    verdict "$key: six requests at once for a file allowed twice give it twice and the refusal four times, and log two downloads" $? \
        "$full whole files, $refused refusals, logged '$logged'"
}

# check_paid_returns KEY PAYPAL STRIPE: the PayPal button the screen writes carries the funnel's
# settings, its listener and one claim reference in both its return address and its custom
# value, which lead a buyer on once PayPal confirms; Stripe's success address does the same with
# the Checkout Session's id.
check_paid_returns() {
    local key=$1 paypal=$2 stripe=$3 id=${P_ID[$1]} post=${P_POST[$1]} front="$RUN/pages/paid-button.html" button="//form[@class='paypal-buy']"
    local field got want wrong="" ref back code url session
    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=$post&action=edit" "${id}_paypal_button=1" "save=Update" > /dev/null
    fetch "$front" "${P_PERMALINK[$key]}" > /dev/null
    ref=$(php "$INSPECT" value "$front" "$button//input[@name='custom']/@value")
    back=$(php "$INSPECT" value "$front" "$button//input[@name='return']/@value")
    for field in business=seller@example.invalid amount=9.90 currency_code=EUR item_number=balcony-1 cmd=_xclick "notify_url=$paypal"; do
        got=$(php "$INSPECT" value "$front" "$button//input[@name='${field%%=*}']/@value")
        [ "$got" = "${field#*=}" ] || wrong="$wrong ${field%%=*}='$got'"
    done
    [ "$(php "$INSPECT" value "$front" "$button/@action")" = https://www.sandbox.paypal.com/cgi-bin/webscr ] || wrong="$wrong action"
    [ "$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//input[@id='${id}_listener_paypal']/@value")" = "$paypal" ] &&
        [ "$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//input[@id='${id}_listener_stripe']/@value")" = "$stripe" ] &&
        [[ "$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//div[@id='tab-panel-${id}_payments_help']")" == *"whsec_"* ]] || wrong="$wrong screen"
    [ -z "$wrong" ] && [[ "$ref" =~ ^[0-9a-f]{32}$ ]] && [ "$back" = "$B/?post_type=${id,,}&p=$post&${id}_claim=$ref" ]
    verdict "$key: the PayPal button written from the screen carries the funnel's account, price, listener and one claim reference in return and custom" $? \
        "${wrong# }; custom '$ref', return '$back'"
    send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000003 custom="$ref" payer_email=paid.three@example.invalid)" > /dev/null
    code=$(fetch "$RUN/pages/paid-claim.html" "$back")
    url=$(header_of "$RUN/pages/paid-claim.html" location)
    [ "$code" = 303 ] && [ "$(fetch "$RUN/pages/paid-claimed.html" "$url")" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-claimed.html"
    verdict "$key: a buyer who paid with that button is led on from PayPal's return to their download page" $? "$code -> '$url'"

    fetch "$RUN/pages/paid-edit.html" "$A/wp-admin/post.php?post=$post&action=edit" -b "$JAR" > /dev/null
    url=$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//input[@id='${id}_stripe_return']/@value")
    session=cs_test_e2e_claim_0001
    stripe_send "$RUN/pages/stripe" "$stripe" "$(php "$PAYMENTS" stripe-session $session pi_e2e_claim 990 eur stripe.claim@example.invalid)" \
        "$STRIPE_SECRET" "$(date +%s)" > /dev/null
    code=$(fetch "$RUN/pages/paid-claim.html" "${url/\{CHECKOUT_SESSION_ID\}/$session}")
    back=$(header_of "$RUN/pages/paid-claim.html" location)
    [[ "$url" == *"${id}_claim="*"&session_id={CHECKOUT_SESSION_ID}" ]] && [ "$code" = 303 ] &&
        [ "$(fetch "$RUN/pages/paid-claimed.html" "$back")" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-claimed.html"
    verdict "$key: Stripe's success address from the screen leads a buyer whose Checkout Session is paid on to their download page" $? \
        "'$url' -> $code -> '$back'"
    check_webhook_claim "$key"
}

# check_webhook_claim KEY: a shop that tells the webhook of a payment passes the claim reference
# of the visitor's return address as "claim": once the call is signed with the funnel's secret,
# that address leads the visitor on to their page; a call signed with another secret does not.
check_webhook_claim() {
    local key=$1 id=${P_ID[$1]} post=${P_POST[$1]} front="$RUN/pages/hook-front.html" hook ref back body code url buyers mails
    hook=$(wp_php listener-url "$id" webhook "$post")
    fetch "$front" "${P_PERMALINK[$key]}" > /dev/null
    ref=$(php "$INSPECT" value "$front" "//form[@class='paypal-buy']//input[@name='custom']/@value")
    back=$(php "$INSPECT" value "$front" "//form[@class='paypal-buy']//input[@name='return']/@value")
    body="{\"email\":\"hook.claim@example.invalid\",\"payment_id\":\"shop-2001\",\"claim\":\"$ref\"}"
    printf '%s' "$body" > "$RUN/pages/hook.json"
    refused "$key" "a webhook call with a visitor's claim, signed with another secret," 401 "$RUN/pages/hook" "$hook" "$body" \
        -H "X-Webhook-Signature: $(php "$PAYMENTS" webhook-signature not-the-funnels-secret "$RUN/pages/hook.json")"
    code=$(fetch "$RUN/pages/hook-claim.html" "$back")
    [ "$code" = 200 ] && grep -q 'Confirming your payment' "$RUN/pages/hook-claim.html"
    verdict "$key: after a wrongly signed webhook call the visitor's claim page still waits for the payment" $? "$code '$back'"

    buyers=$(buyer_count "$id") mails=$(mail_count)
    code=$(send "$RUN/pages/hook" "$hook" "$body" -H "X-Webhook-Signature: $(php "$PAYMENTS" webhook-signature "$HOOK_SECRET" "$RUN/pages/hook.json")" \
        -H 'Content-Type: application/json')
    granted "$key" "a signed webhook call with a visitor's claim" 201 "$RUN/pages/hook" shop-2001 hook.claim@example.invalid "$code" "$buyers" "$mails"
    code=$(fetch "$RUN/pages/hook-claim.html" "$back")
    url=$(header_of "$RUN/pages/hook-claim.html" location)
    [[ "$ref" =~ ^[0-9a-f]{32}$ ]] && [ "$code" = 303 ] && [[ "$url" == *"${id}_sig="* ]] &&
        [ "$(fetch "$RUN/pages/hook-claimed.html" "$url")" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/hook-claimed.html"
    verdict "$key: once a signed webhook call carried the visitor's claim, their return address leads them on to their download page" $? \
        "claim '$ref': $code -> '$url'"
}

# check_old_funnels_free KEY: a funnel without a stored mode (made before there were modes)
# opens at its keyed address as it always did, and the upgrade step stores it as Free; a Paid
# funnel stays Paid.
check_old_funnels_free() {
    local key=$1 id=${P_ID[$1]} post=${P_POST[$1]} keyed draft code mode
    keyed=$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//input[@id='${id}_download_url']/@value")
    draft=$(php "$INSPECT" value "$RUN/pages/paid-new.html" "//input[@id='post_ID']/@value")
    wp_sql "DELETE FROM wp_postmeta WHERE post_id = $post AND meta_key LIKE '%${id}_mode'"
    code=$(fetch "$RUN/pages/paid-old.html" "$keyed")
    wp_php upgrade "$id" 1.0 > /dev/null
    mode=$(wp_sql "SELECT GROUP_CONCAT(post_id, '=', meta_value ORDER BY post_id) FROM wp_postmeta WHERE post_id IN ($post, $draft) AND meta_key LIKE '%${id}_mode'")
    [ "$code" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-old.html" && [ "$mode" = "$post=free,$draft=paid" ]
    verdict "$key: a funnel from before the access modes opens at its keyed address, and the upgrade stores it as Free" $? "$code, modes '$mode'"
}

# check_add_by_hand KEY: the owner adds a buyer on the buyers screen and gets their link; a
# Contributor cannot, even with the owner's form.
check_add_by_hand() {
    local key=$1 id=${P_ID[$1]} post=${P_POST[$1]} type=${P_ID[$1],,} page="$RUN/pages/paid-buyers.html" url link mails buyers code
    local -a form
    url="$A/wp-admin/edit.php?post_type=$type&page=$type-buyers&funnel=$post"
    fetch "$page" "$url" -b "$JAR" > /dev/null
    mapfile -t form < <(php "$INSPECT" form "$page" "$url" "//form[.//input[@name='${id}_do' and @value='add']]" "${id}_email=by.hand@example.invalid")
    buyers=$(buyer_count "$id") mails=$(mail_count)
    fetch "$RUN/pages/paid-added.html" "${form[0]:-$url}" -b "$JAR" --data-binary "${form[1]:-}" > /dev/null
    link=$(php "$INSPECT" value "$RUN/pages/paid-added.html" "//input[@id='${id}_new_link']/@value")
    [ -n "$link" ] && [ "$(buyer_count "$id")" = $((buyers + 1)) ] && [ "$(mail_count)" = $((mails + 1)) ] &&
        [ "$(last_mail to)" = by.hand@example.invalid ] && [[ "$(last_mail message)" == *"$link"* ]] &&
        [ "$(wp_sql "SELECT source FROM wp_${id}_buyers WHERE email = 'by.hand@example.invalid'")" = manual ] &&
        [ "$(fetch "$RUN/pages/paid-by-hand.html" "$link")" = 200 ] && grep -qF "${P_BACK_TAG[$key]}" "$RUN/pages/paid-by-hand.html" &&
        grep -q 'by.hand@example.invalid' "$RUN/pages/paid-added.html" && grep -q 'paid.two@example.invalid' "$RUN/pages/paid-added.html"
    verdict "$key: the owner adds a buyer by hand on the buyers screen: the link is shown, e-mailed and opens the download page" $? "link '$link'"

    buyers=$(buyer_count "$id")
    code=$(fetch "$RUN/pages/paid-no-nonce.html" "${form[0]:-$url}" -b "$JAR" \
        --data-binary "$(sed -E 's/(^|&)_wpnonce=[^&]*//; s/by\.hand/no.nonce/' <<< "${form[1]:-}")")
    [ "$code" = 403 ] && [ "$(buyer_count "$id")" = "$buyers" ]
    verdict "$key: the owner's add form without its nonce adds nobody" $? "$code"

    wp_php add-user funnel-contributor contributor-e2e-pass contributor > /dev/null 2>&1
    login "$RUN/contributor.cookies" funnel-contributor contributor-e2e-pass
    buyers=$(buyer_count "$id")
    code=$(fetch "$RUN/pages/paid-contributor.html" "${form[0]:-$url}" -b "$RUN/contributor.cookies" \
        --data-binary "${form[1]/by.hand/sneaky}")
    fetch "$RUN/pages/paid-contributor-list.html" "$url" -b "$RUN/contributor.cookies" > /dev/null
    [ "$code" = 403 ] && [ "$(buyer_count "$id")" = "$buyers" ] && ! grep -q 'paid.two@example.invalid' "$RUN/pages/paid-contributor-list.html" &&
        [ "$(php "$INSPECT" count "$RUN/pages/paid-contributor-list.html" "//input[@name='${id}_do']")" = 0 ]
    verdict "$key: a Contributor neither sees the funnel's buyers nor adds one, even with the owner's form" $? "$code"

    check_buyer_actions "$key" "$link"
}

# buyer_action KEY EMAIL ACTION: posts ACTION (resend or revoke) from EMAIL's row of the buyers
# screen, found through its search; the answer goes to paid-action.html.
buyer_action() {
    local id=${P_ID[$1]} url page="$RUN/pages/paid-search.html"
    local -a form
    url="$A/wp-admin/edit.php?post_type=${id,,}&page=${id,,}-buyers&funnel=${P_POST[$1]}&s=$2"
    fetch "$page" "$url" -b "$JAR" > /dev/null
    mapfile -t form < <(php "$INSPECT" form "$page" "$url" "//table[@id='${id,,}-buyers']//form[.//input[@name='${id}_do' and @value='$3']]")
    fetch "$RUN/pages/paid-action.html" "${form[0]:-$url}" -b "$JAR" --data-binary "${form[1]:-}" > /dev/null
}

# check_buyer_actions KEY LINK: the buyers screen finds a buyer by search, sends their link again
# (the old one stops working) and revokes it; the funnel list counts buyers and downloads.
check_buyer_actions() {
    local key=$1 old=$2 id=${P_ID[$1]} post=${P_POST[$1]} rows new mails list="$RUN/pages/paid-list.html" buyers downloads
    buyer_action "$key" by.hand resend
    rows=$(php "$INSPECT" count "$RUN/pages/paid-search.html" "//table[@id='${id,,}-buyers']/tbody/tr")
    new=$(link_in_last_mail "$id")
    [ "$rows" = 1 ] && [ "$(last_mail to)" = by.hand@example.invalid ] && [ -n "$new" ] && [ "$new" != "$old" ] &&
        [ "$(fetch "$RUN/pages/paid-new-link.html" "$new")" = 200 ] && [ "$(fetch "$RUN/pages/paid-old-link.html" "$old")" = 403 ]
    verdict "$key: the buyers screen finds a buyer by search and sends them a new link, and the old one stops working" $? "$rows rows, '$new'"
    buyer_action "$key" by.hand revoke
    themed_refusal "$key" "a link revoked on the buyers screen" "$new" 403 "withdrawn" "write to the seller the way you bought: they can give you new access"
    themed_refusal "$key" "a buyer's link sent again, the old one," "$old" 403 "does not open anything" \
        "open the link from your e-mail again, the whole of it"

    fetch "$list" "$A/wp-admin/edit.php?post_type=${id,,}" -b "$JAR" > /dev/null
    buyers=$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_buyers')]/a")
    downloads=$(php "$INSPECT" value "$list" "//tr[@id='post-$post']//td[contains(@class,'column-${id}_downloads')]")
    [ "$buyers" = "$(buyer_count "$id")" ] && [ "$buyers" -gt 0 ] &&
        [ "$downloads" = "$(wp_sql "SELECT COUNT(*) FROM wp_${id}_downloads WHERE funnel_id = $post AND first_byte = 0")" ] && [ "$downloads" -gt 0 ]
    verdict "$key: the funnel list counts the funnel's buyers and downloads" $? "buyers '$buyers', downloads '$downloads'"
}
