# Buyers: payment messages made and signed in the test as PayPal (confirmed by a local stub of
# its confirmation address), Stripe and a shop's webhook would send them give a buyer and an
# e-mail with their link exactly when they should; refunds revoke; the personal-data tools
# export and erase buyers. The database is read with SQL beside WordPress, so a check never runs
# the plugin's own code to see what it did. Sourced by run_e2e.sh, which provides fetch, verdict,
# the P_* tables, wp_php, wp_sql, WP_MAIL_LOG and the WordPress addresses.

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

    stop_paypal_stub
}
